#pragma once
// What the window's program does with its command line: "--help" and "--version" print and end
// without opening a window (no display needed); any other argument that the toolkit did not take is a
// usage error. The window itself takes no arguments.

#include <QStringList>
#include <optional>

namespace vexilo::gui {

struct CommandLineAnswer {
    int exitStatus;
    QString text;   // printed as it is, ending in a new line
    bool onErrors;  // on the standard error rather than the standard output
};

// Before the toolkit starts, with the arguments after the program's name: the answer to "--help"
// (or "-h") or "--version", whichever comes first; none for anything else.
std::optional<CommandLineAnswer> printedAnswer(const QStringList& arguments);

// After the toolkit took its own options: what is left refused, with the usage; none when nothing is.
std::optional<CommandLineAnswer> leftoverAnswer(const QStringList& leftover);

}  // namespace vexilo::gui
