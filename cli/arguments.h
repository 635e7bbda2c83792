#pragma once
// Command-line arguments of one subcommand: positional values, options with a value ("--bdd BD" or
// "--bdd=BD", repeatable) and flags ("-q"). Anything else is a usage error.

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include "core/usererror.h"

namespace vexilo::cli {

// A usage error: the message says what is wrong; the caller adds the usage text and exits with 2.
class UsageError : public core::UserError {
  public:
    using UserError::UserError;
};

struct Arguments {
    QStringList positionals;
    QMap<QString, QStringList> options;  // every value given, in order
    QSet<QString> flags;
    bool help = false;  // -h or --help anywhere

    QString option(const QString& name, const QString& byDefault = {}) const;
    // A whole number given as an option; a usage error when it is not one or lies outside [minimo, maximo].
    qint64 number(const QString& name, qint64 byDefault, qint64 minimum, qint64 maximum) const;
};

// withValue: options that take a value; banderas: options without one. Both spelled with their dashes.
Arguments parse(const QStringList& args, const QSet<QString>& withValue, const QSet<QString>& flags);

}  // namespace vexilo::cli
