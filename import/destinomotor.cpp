#include "import/destinomotor.h"

namespace vexilo::importacion {

using flujo::TipoColumna;

platform::FieldDef campoDe(const ColumnaFlujo& columna) {
    switch (columna.tipo) {
        case TipoColumna::Byte:
        case TipoColumna::Entero:
            return {columna.nombre, platform::dbInteger, 0};
        case TipoColumna::EnteroLargo:
            return {columna.nombre, platform::dbLong, 0};
        case TipoColumna::Moneda:
        case TipoColumna::Simple:
        case TipoColumna::Doble:
        case TipoColumna::Numerico:
            // Double precision holds a single-precision value and Access's currency exactly as read.
            return {columna.nombre, platform::dbDouble, 0};
        case TipoColumna::Fecha:
            return {columna.nombre, platform::dbDate, 0};
        case TipoColumna::Logico:
            return {columna.nombre, platform::dbBoolean, 0};
        case TipoColumna::Texto:
            return {columna.nombre, platform::dbText, columna.tamano};
        case TipoColumna::Ole:
        case TipoColumna::Binario:
            return {columna.nombre, platform::dbLongBinary, 0};
        case TipoColumna::Memo:
        case TipoColumna::Guid:
            break;
    }
    return {columna.nombre, platform::dbText, 0};
}

DestinoMotor::DestinoMotor(platform::Database& bd, const QString& nombre, bool forzar)
    : m_bd(bd), m_nombre(nombre), m_forzar(forzar) {
    try {
        m_bd.BeginTrans();
    } catch (const platform::EngineError& e) {
        fallo(e.description());
    }
}

DestinoMotor::~DestinoMotor() {
    if (m_terminado) {
        return;
    }
    try {
        m_bd.Rollback();
    } catch (const platform::EngineError&) {
        // A lost connection has undone the transaction already.
    }
}

void DestinoMotor::empiezaTabla(const TablaFlujo& t) {
    if (m_creadas.contains(t.nombre.toUpper())) {
        fallo(QStringLiteral("el origen tiene dos tablas llamadas %1 (sin distinguir mayúsculas).")
                  .arg(t.nombre));
    }
    try {
        sustituye(t.nombre);
        platform::TableDef def(t.nombre);
        m_valores.clear();
        for (const ColumnaFlujo& c : t.columnas) {
            def.Append(campoDe(c));
            m_valores.emplace_back(c.nombre, QVariant());
        }
        m_bd.AppendTableDef(def);
    } catch (const platform::EngineError& e) {
        fallo(e.description());
    }
    m_creadas.insert(t.nombre.toUpper());
    m_tabla = t.nombre;
}

void DestinoMotor::sustituye(const QString& tabla) {
    for (int i = 0; i < m_bd.TableDefsCount(); ++i) {
        const QString existente = m_bd.TableDefName(i);
        if (existente.compare(tabla, Qt::CaseInsensitive) != 0) {
            continue;
        }
        if (!m_forzar) {
            fallo(QStringLiteral("ya tiene la tabla %1 (use --forzar para sustituirla).").arg(existente));
        }
        m_bd.DeleteTableDef(existente);
        return;
    }
}

void DestinoMotor::fila(const std::vector<QVariant>& valores) {
    for (std::size_t i = 0; i < valores.size() && i < m_valores.size(); ++i) {
        m_valores[i].second = valores[i];
    }
    try {
        m_bd.InsertRow(m_tabla, m_valores);
    } catch (const platform::EngineError& e) {
        fallo(e.description());
    }
}

std::int64_t DestinoMotor::filasGuardadas(const QString& tabla) {
    try {
        return static_cast<std::int64_t>(m_bd.ReadRows(tabla, {}).size());
    } catch (const platform::EngineError& e) {
        fallo(e.description());
    }
}

void DestinoMotor::termina() {
    try {
        m_bd.CommitTrans();
    } catch (const platform::EngineError& e) {
        fallo(e.description());
    }
    m_terminado = true;
}

void DestinoMotor::fallo(const QString& causa) const {
    throw ErrorImportacion(
        QStringLiteral("No se puede escribir la base de datos de destino %1: %2").arg(m_nombre, causa));
}

}  // namespace vexilo::importacion
