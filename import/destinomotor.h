#pragma once
// A database of the engine layer (in practice a server database) as the destination of an import,
// fed table by table and row by row through the engine interface. Column kinds become the engine's
// field types (whole numbers of 8 and 16 bits dbInteger, of 32 bits dbLong, reals and currency
// dbDouble, dates dbDate, yes/no dbBoolean, texts dbText with their size, memo and GUID unbounded
// dbText, OLE and binary dbLongBinary); the tables get the engine's stored order, so the rows read
// back in the order they came.
//
// Everything happens in one transaction, committed by termina(); anything else (a failure, the
// object destroyed before termina()) rolls it back, so the database is as it was, replaced tables
// included.

#include <QSet>
#include <QString>
#include <vector>

#include "import/lectorflujo.h"
#include "platform/dao.h"

namespace vexilo::importacion {

// The engine's field for a column kind.
platform::FieldDef campoDe(const ColumnaFlujo& columna);

class DestinoMotor : public Destino {
  public:
    // `bd` stays open for the object's life. `nombre` is the destination as it may be shown (no
    // password). A table of the same name (in any case) as one that arrives is replaced only with
    // `forzar`; without it the import fails naming the table.
    DestinoMotor(platform::Database& bd, const QString& nombre, bool forzar);
    ~DestinoMotor() override;
    DestinoMotor(const DestinoMotor&) = delete;
    DestinoMotor& operator=(const DestinoMotor&) = delete;

    void empiezaTabla(const TablaFlujo& t) override;
    void fila(const std::vector<QVariant>& valores) override;
    void terminaTabla() override {}
    std::int64_t filasGuardadas(const QString& tabla) override;
    void termina() override;

  private:
    void sustituye(const QString& tabla);
    [[noreturn]] void fallo(const QString& causa) const;

    platform::Database& m_bd;
    QString m_nombre;
    bool m_forzar;
    bool m_terminado = false;
    QSet<QString> m_creadas;  // upper-cased names of the tables this import created
    QString m_tabla;
    platform::FieldValues m_valores;
};

}  // namespace vexilo::importacion
