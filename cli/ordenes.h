#pragma once
// The subcommands of vexilo-cli. Each takes its own arguments (after the subcommand's name) and returns
// the exit status (core/exitstatus.h).

#include <QStringList>

#include "core/exitstatus.h"

namespace vexilo::cli {

int ordenProcesar(const QStringList& args);
int ordenVolcar(const QStringList& args);
int ordenDemo(const QStringList& args);
int ordenImportar(const QStringList& args);

// Prints the error and the usage text on standard error; returns core::exitstatus::kUsage.
int errorDeUso(const QString& mensaje, const QString& uso);

}  // namespace vexilo::cli
