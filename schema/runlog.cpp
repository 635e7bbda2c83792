#include "schema/runlog.h"

#include <QDate>
#include <QTime>
#include <QTimeZone>

#include "platform/services.h"
#include "schema/runlogkeys.h"

namespace vexilo::schema {

namespace {

const QString kControlProceso = QStringLiteral("CONTROLPROCESO");

// The key set of this job for this database, read on first use.
RunLogKeys& logKeys(app::RunState& f) {
    return f.caches.get<RunLogKeys>([&f] { return std::make_shared<RunLogKeys>(*f.Bd); });
}

}  // namespace

void creaTablaControlProceso(app::RunState& f) {
    using platform::TableDef;
    TableDef def = platform::Database::CreateTableDef(kControlProceso);
    def.Append(TableDef::CreateField(QStringLiteral("NombreTabla"), platform::dbText, 255));
    def.Append(TableDef::CreateField(QStringLiteral("mslink"), platform::dbLong));
    def.Append(TableDef::CreateField(QStringLiteral("RegistroATR"), platform::dbLong));
    def.Append(TableDef::CreateField(QStringLiteral("NombreFichero"), platform::dbText, 255));
    def.Append(TableDef::CreateField(QStringLiteral("TMapa"), platform::dbText, 100));
    def.Append(TableDef::CreateField(QStringLiteral("Fecha"), platform::dbDate));
    def.Append(TableDef::CreateField(QStringLiteral("Hora"), platform::dbDate));
    f.Bd->AppendTableDef(def);
    f.NumeroTablas = f.Bd->TableDefsCount();
}

void AnadeAControlProceso(app::RunState& f, const QString& NombreTabla, std::int32_t registro,
                          const QString& fich_entrada, const QString& texto_en_mapa,
                          std::int32_t registro_grafico_igual_tabla) {
    RunLogKeys& claves = logKeys(f);
    if (claves.contains(NombreTabla, registro, fich_entrada)) {
        return;
    }
    // The moment of the logging is split as a date/time field holds it: Fecha is the day (stored at
    // midnight), Hora the time of day (stored on day zero, 30 December 1899), in whole seconds like the
    // engine's text form 'YYYY-MM-DD HH:MM:SS' in which both are stored. A QDate and a QTime carry the
    // local fields as they are, so no time-zone rule can move a midnight that the zone skips.
    const QDateTime momento = platform::services().clock().now();
    const QDate fecha = momento.date();
    const QTime hora = momento.time();
    const QTime horaDelDia(hora.hour(), hora.minute(), hora.second());
    f.Bd->InsertRow(kControlProceso, {{QStringLiteral("NombreTabla"), NombreTabla},
                                      {QStringLiteral("mslink"), registro},
                                      {QStringLiteral("RegistroAtr"), registro_grafico_igual_tabla},
                                      {QStringLiteral("NombreFichero"), fich_entrada},
                                      {QStringLiteral("tmapa"), texto_en_mapa},
                                      {QStringLiteral("Fecha"), fecha},
                                      {QStringLiteral("Hora"), horaDelDia}});
    claves.insert(NombreTabla, registro, fich_entrada);
}

}  // namespace vexilo::schema
