#pragma once
// Every table of a database (a file or a server URI) with its fields, then its rows as text in stored
// order: enough to compare two databases, empty tables included. The log's Fecha and Hora values are
// left out (they hold the moment of the run), and a folder given is replaced by "<dir>" so that two
// copies of a sample in different folders compare equal.

#include <QString>
#include <QStringList>

namespace vexilo::testing {

QStringList rowsOfEveryTable(const QString& path, const QString& folder = QString());

}  // namespace vexilo::testing
