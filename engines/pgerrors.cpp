// The server's failures in the same numbered Spanish messages as the embedded engine's. The server
// tells the kind of failure by its SQLSTATE (five characters, the first two its class), never by its
// message's words, which follow the server's language; only the names it quotes are taken from them.

#include <QRegularExpression>
#include <QSqlError>

#include "engines/connection.h"
#include "engines/postgres.h"

namespace vexilo::engines {

namespace {

// The first quoted name after `word` in a server message ('... constraint "name" ...').
QString quotedAfter(const QString& message, const QString& word) {
    const QRegularExpression pattern(QRegularExpression::escape(word) +
                                     QStringLiteral("\\s+\"((?:[^\"]|\"\")*)\""));
    const QRegularExpressionMatch m = pattern.match(message);
    return m.hasMatch() ? m.captured(1).replace(QLatin1String("\"\""), QLatin1String("\"")) : QString();
}

QString withTable(const QString& sentence, const QString& table) {
    return table.isEmpty() ? sentence : sentence + QStringLiteral(" (tabla '%1')").arg(table);
}

[[noreturn]] void refusedValue(const ServerFailure& f, const QString& table) {
    const QString field = !f.column.isEmpty() ? f.column : f.constraint;
    if (!field.isEmpty()) {
        throwEngineError(
            errnum::kValueRefused,
            QStringLiteral("El valor no es admisible en el campo '%1' de la tabla '%2'.").arg(field, table));
    }
    throwEngineError(
        errnum::kValueRefused,
        QStringLiteral("El valor no es admisible en un campo de la tabla '%1': %2").arg(table, f.message));
}

bool isValueRefusal(const QString& state) {
    // Data exceptions (a value too long, out of range, not of the type) and broken constraints.
    return state.startsWith(QLatin1String("22")) || state == QLatin1String("23502") ||
           state == QLatin1String("23514");
}

}  // namespace

ServerFailure failureOf(const QSqlError& error) {
    ServerFailure f;
    f.sqlstate = error.nativeErrorCode();
    QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    // The driver gives libpq's whole report: "ERROR:  message\nDETAIL: ...\nLINE 1: ...".
    text = text.section(QLatin1Char('\n'), 0, 0).trimmed();
    static const QRegularExpression severity(QStringLiteral("^[A-Z]+:\\s+"));
    text.remove(severity);
    f.message = text;
    f.constraint = quotedAfter(text, QStringLiteral("constraint"));
    if (f.sqlstate == QLatin1String("42703") || f.sqlstate == QLatin1String("23502")) {
        f.column = quotedAfter(text, QStringLiteral("column"));
    }
    return f;
}

void throwServerError(const ServerFailure& f, const QString& table, const QString& shownName) {
    const QString& s = f.sqlstate;
    if (isValueRefusal(s) && !table.isEmpty()) {
        refusedValue(f, table);
    }
    if (s == QLatin1String("40001") || s == QLatin1String("40P01") || s == QLatin1String("55P03") ||
        s == QLatin1String("55006")) {
        throwEngineError(
            errnum::kLocked,
            withTable(QStringLiteral("La base de datos '%1' está bloqueada por otro proceso.").arg(shownName),
                      table));
    }
    if (s.startsWith(QLatin1String("53"))) {
        throwEngineError(
            errnum::kDiskFull,
            withTable(QStringLiteral("No se puede escribir en la base de datos '%1': el servidor no "
                                     "tiene espacio o memoria libre.")
                          .arg(shownName),
                      table));
    }
    if (s == QLatin1String("25006")) {
        throwEngineError(
            errnum::kNotUpdatable,
            withTable(QStringLiteral("No se puede escribir en la base de datos '%1': el servidor "
                                     "la tiene en solo lectura.")
                          .arg(shownName),
                      table));
    }
    if (s == QLatin1String("42501")) {
        throwEngineError(
            errnum::kNotUpdatable,
            withTable(QStringLiteral("El servidor no permite esta operación sobre la base de datos "
                                     "'%1' al usuario de la conexión: %2")
                          .arg(shownName, f.message),
                      table));
    }
    if (s.startsWith(QLatin1String("08")) || s.startsWith(QLatin1String("57P"))) {
        throwEngineError(
            errnum::kServerUnreachable,
            QStringLiteral("Se ha perdido la conexión con el servidor de bases de datos '%1': %2")
                .arg(shownName, f.message));
    }
    if (s == QLatin1String("42P01") && !table.isEmpty()) {
        throwEngineError(
            errnum::kTableNotFound,
            QStringLiteral("No se encuentra la tabla '%1' en la base de datos '%2'.").arg(table, shownName));
    }
    if (s == QLatin1String("42703") && f.column == kNaturalOrderColumn) {
        throwEngineError(
            errnum::kFieldNotFound,
            QStringLiteral("La tabla '%1' no tiene el campo '%2' que guarda el orden de sus registros "
                           "en el servidor; se le puede añadir.")
                .arg(table, kNaturalOrderColumn));
    }
    if (s == QLatin1String("25P02")) {
        throwEngineError(errnum::kEngineFailure,
                         QStringLiteral("Una operación anterior sobre la base de datos '%1' ha fallado y la "
                                        "transacción en curso ya no admite más cambios.")
                             .arg(shownName));
    }
    const QString state = s.isEmpty() ? QString() : QStringLiteral(" [%1]").arg(s);
    if (table.isEmpty()) {
        throwEngineError(errnum::kEngineFailure,
                         QStringLiteral("Error del motor en la base de datos '%1': %2%3")
                             .arg(shownName, f.message, state));
    }
    throwEngineError(errnum::kEngineFailure,
                     QStringLiteral("Error del motor de base de datos en la tabla '%1' de '%2': %3%4")
                         .arg(table, shownName, f.message, state));
}

}  // namespace vexilo::engines
