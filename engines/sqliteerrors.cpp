// SQLite's failures as numbered Spanish messages. SQLite tells the kind of failure by its result code;
// those a user can act on (a read-only file or folder, a full disk, a file another program has locked, a
// failing disk, a file that cannot be opened, a damaged file, no memory) get a sentence of their own, the
// rest the engine's own text beside the table and the file.

#include <sqlite3.h>

#include <QSqlError>

#include "engines/connection.h"
#include "engines/sqlite.h"

namespace vexilo::engines {

namespace {

const QString kCheckFailed = QStringLiteral("CHECK constraint failed: ");

// One sentence naming the file and the cause, for the failures a user can act on; empty otherwise.
QString fileCause(int primary, const QString& path) {
    switch (primary) {
        case SQLITE_READONLY:
            return QStringLiteral(
                       "No se puede escribir en la base de datos '%1': el fichero o su carpeta "
                       "son de solo lectura.")
                .arg(path);
        case SQLITE_FULL:
            return QStringLiteral("No se puede escribir en la base de datos '%1': el disco está lleno.")
                .arg(path);
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return QStringLiteral("La base de datos '%1' está bloqueada por otro proceso.").arg(path);
        case SQLITE_IOERR:
            return QStringLiteral(
                       "El sistema no ha podido leer o escribir la base de datos '%1' (error de "
                       "entrada o salida del disco): compruebe el disco o la unidad de red.")
                .arg(path);
        case SQLITE_CANTOPEN:
            return QStringLiteral(
                       "No se puede abrir la base de datos '%1': compruebe que el fichero existe y "
                       "que su carpeta permite crear ficheros en ella.")
                .arg(path);
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return QStringLiteral("La base de datos '%1' está dañada o no es una base de datos.").arg(path);
        case SQLITE_NOMEM:
            return QStringLiteral("No hay memoria suficiente para trabajar con la base de datos '%1'.")
                .arg(path);
        default:
            return {};
    }
}

}  // namespace

void throwSqliteError(int extendedCode, const QString& engineText, const QString& table,
                      const QString& path) {
    const int number = extendedCode != 0 ? extendedCode : errnum::kEngineFailure;
    // A refused value names its column: every check the layer writes is named after its column.
    if (engineText.startsWith(kCheckFailed)) {
        const QString field = engineText.mid(kCheckFailed.size());
        throwEngineError(
            number,
            QStringLiteral("El valor no es admisible en el campo '%1' de la tabla '%2'.").arg(field, table));
    }
    const QString cause = fileCause(number & 0xff, path);
    if (!cause.isEmpty()) {
        throwEngineError(number,
                         table.isEmpty() ? cause : cause + QStringLiteral(" (tabla '%1')").arg(table));
    }
    if (table.isEmpty()) {
        throwEngineError(
            number, QStringLiteral("Error del motor en la base de datos '%1': %2").arg(path, engineText));
    }
    throwEngineError(number, QStringLiteral("Error del motor de base de datos en la tabla '%1' de '%2': %3")
                                 .arg(table, path, engineText));
}

void throwSqliteError(const QSqlError& error, const QString& table, const QString& path) {
    bool numbered = false;
    const int number = error.nativeErrorCode().toInt(&numbered);
    const QString engineText = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    throwSqliteError(numbered ? number : 0, engineText, table, path);
}

}  // namespace vexilo::engines
