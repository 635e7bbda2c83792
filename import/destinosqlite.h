#pragma once
// The new SQLite database an import writes, fed table by table and row by row. Column kinds become
// the types the engine layer reads (whole numbers as INTEGER or SMALLINT, reals and currency as REAL,
// texts as VARCHAR(size), memo as TEXT, dates as DATETIME, yes/no as BOOLEAN 1/0, OLE and binary as
// BLOB), with the limits Access keeps (a text's size, a whole number's width) as CHECK constraints.
// Everything is written in one transaction, committed by termina().

#include <QString>
#include <memory>

#include "import/lectorflujo.h"

class QSqlQuery;

namespace vexilo::importacion {

class DestinoSqlite : public Destino {
  public:
    // Creates the database at `ruta` (":memory:" for one in memory). ErrorImportacion naming `nombre`,
    // the file the user asked for, when it cannot be created.
    DestinoSqlite(const QString& ruta, const QString& nombre);
    ~DestinoSqlite() override;
    DestinoSqlite(const DestinoSqlite&) = delete;
    DestinoSqlite& operator=(const DestinoSqlite&) = delete;

    void empiezaTabla(const TablaFlujo& t) override;
    void fila(const std::vector<QVariant>& valores) override;
    void terminaTabla() override {}
    std::int64_t filasGuardadas(const QString& tabla) override;
    // Commits everything; ErrorImportacion when the commit fails.
    void termina() override;

  private:
    void ejecuta(const QString& sql);
    [[noreturn]] void fallo(const QString& causa) const;

    QString m_conexion;
    QString m_nombre;
    std::unique_ptr<QSqlQuery> m_insercion;
};

}  // namespace vexilo::importacion
