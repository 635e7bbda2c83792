#pragma once
// The subcommands of vexilo-cli. Each takes its own arguments (after the subcommand's name) and returns
// the exit status (core/exitstatus.h).

#include <QStringList>

#include "core/exitstatus.h"

namespace vexilo::cli {

int processCommand(const QStringList& args);
int dumpCommand(const QStringList& args);
int demoCommand(const QStringList& args);
int importCommand(const QStringList& args);

// Prints the error and the usage text on standard error; returns core::exitstatus::kUsage.
int usageError(const QString& message, const QString& usage);

}  // namespace vexilo::cli
