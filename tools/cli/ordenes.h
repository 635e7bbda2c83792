#pragma once
// The subcommands of vexilo-cli. Each takes its own arguments (after the subcommand's name) and returns
// the exit status: 0 success, 1 a stop or an error, 2 a usage error.

#include <QStringList>

namespace vexilo::cli {

int ordenProcesar(const QStringList& args);
int ordenVolcar(const QStringList& args);
int ordenDemo(const QStringList& args);
int ordenImportar(const QStringList& args);

constexpr int kExito = 0;
constexpr int kFallo = 1;
constexpr int kErrorDeUso = 2;

// Prints the error and the usage text on standard error; returns kErrorDeUso.
int errorDeUso(const QString& mensaje, const QString& uso);

}  // namespace vexilo::cli
