#pragma once
// The subcommands of vexilo-cli and their options, written once. Each subcommand's parser, its --help, the
// program's --help and the synopsis of the manual page (packaging/man/vexilo-cli.1.in) are all made from
// this table, so that none of them can name an option that another leaves out.

#include <QString>
#include <QStringList>
#include <vector>

#include "cli/arguments.h"

namespace vexilo::cli {

// One entry of an option's help: its label ("--modo texto"), then what it does. An empty label stands
// for the option as the synopsis writes it ("--bdd BD").
struct OptionHelp {
    QString label{};
    QString text{};
};

// Every member has an initializer so that a row of the table names only what it needs.
struct Option {
    QString name{};                  // with its dashes: "--bdd", "-q"
    QString value{};                 // what follows it in the synopsis ("BD", "no|si|texto"); empty: a flag
    std::vector<OptionHelp> help{};  // at least one entry
    bool required = false;           // written without brackets
    bool repeatable = false;         // "--bin FICHERO [--bin FICHERO2 ...]"
    bool literal = false;            // `value` is typed as written, it does not name one
};

struct Command {
    QString name{};                 // as typed: "procesar"
    QStringList positionals{};      // their names, in order: "ORIGEN", "DESTINO"
    std::vector<Option> options{};  // in the synopsis's order
    QString summary{};              // what it does, in the program's --help
    QString description{};          // its own --help, between the synopsis and the options
    QString closing{};              // its own --help, after the options; may be empty
};

// Every subcommand, in the order the program's help lists them.
const std::vector<Command>& commandTable();

// The row of the subcommand `name`; a fault of the program (std::out_of_range) when there is none.
const Command& commandNamed(const QString& name);

// The arguments that follow the subcommand's name, read with the options of its row. A UsageError for an
// option it does not have, or one that lacks its value.
Arguments parse(const QStringList& args, const Command& command);

// What "vexilo-cli --help" prints.
QString programUsage();

// What "vexilo-cli ORDEN --help" prints: the synopsis, the description, every option, the closing.
QString commandUsage(const Command& command);

// The body of the manual page's SINOPSIS section, in roff: every subcommand, then --version and --help.
QString manualSynopsis();

// Lines of help are broken to fit this many columns.
constexpr qsizetype kUsageWidth = 100;

}  // namespace vexilo::cli
