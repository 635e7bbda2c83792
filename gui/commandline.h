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

// What decides whether the window has a display to open on, read from the environment.
struct DisplayEnvironment {
    QString display;          // DISPLAY: an X server
    QString waylandDisplay;   // WAYLAND_DISPLAY: a Wayland compositor
    QString platform;         // QT_QPA_PLATFORM: a platform chosen by hand (offscreen, vnc, ...)
    bool qtMessages = false;  // VEXILO_QT_MESSAGES=1: the toolkit tries and says why it fails itself
    static DisplayEnvironment current();
};

// Before the toolkit starts: with no display and no platform chosen (by QT_QPA_PLATFORM or "-platform"),
// the reason and what to do, status 1; none otherwise. Without this the toolkit ends the program with its
// own English diagnosis and an abort.
std::optional<CommandLineAnswer> noDisplayAnswer(const QStringList& arguments, const DisplayEnvironment& e);

// Why the window cannot open on `display` (empty: there is none) and what to do, ending in a new line.
QString noDisplayText(const QString& display);

}  // namespace vexilo::gui
