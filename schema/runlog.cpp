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
// The moment of the logging as Fecha and Hora hold it, taken from the clock once per second: a job
// logs hundreds of thousands of rows, and the local time costs a look at the time-zone rules each time.
class LogMoment {
  public:
    void refresh(platform::Clock& clock) {
        const qint64 second = clock.epochSecond();
        if (second == m_second && m_known) {
            return;
        }
        // A QDate and a QTime carry the local fields as they are, so no time-zone rule can move a
        // midnight that the zone skips. Both are stored in whole seconds.
        const QDateTime moment = clock.now();
        const QTime time = moment.time();
        m_date = moment.date();
        m_time = QTime(time.hour(), time.minute(), time.second());
        m_second = second;
        m_known = true;
    }
    const QDate& date() const { return m_date; }
    const QTime& time() const { return m_time; }

  private:
    qint64 m_second = 0;
    bool m_known = false;
    QDate m_date;
    QTime m_time;
};

RunLogKeys& logKeys(core::RunState& f) {
    return f.caches.get<RunLogKeys>([&f] { return std::make_shared<RunLogKeys>(*f.Bd); });
}

}  // namespace

void creaTablaControlProceso(core::RunState& f) {
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

void AnadeAControlProceso(core::RunState& f, const QString& NombreTabla, std::int32_t registro,
                          const QString& fich_entrada, const QString& texto_en_mapa,
                          std::int32_t registro_grafico_igual_tabla) {
    RunLogKeys& keys = logKeys(f);
    if (keys.contains(NombreTabla, registro, fich_entrada)) {
        return;
    }
    // The moment is split as a date/time field holds it: Fecha is the day (stored at midnight), Hora the
    // time of day (stored on day zero, 30 December 1899).
    LogMoment& moment = f.caches.get<LogMoment>([] { return std::make_shared<LogMoment>(); });
    moment.refresh(platform::services().clock());
    f.Bd->InsertRow(kControlProceso, {{QStringLiteral("NombreTabla"), NombreTabla},
                                      {QStringLiteral("mslink"), registro},
                                      {QStringLiteral("RegistroAtr"), registro_grafico_igual_tabla},
                                      {QStringLiteral("NombreFichero"), fich_entrada},
                                      {QStringLiteral("tmapa"), texto_en_mapa},
                                      {QStringLiteral("Fecha"), moment.date()},
                                      {QStringLiteral("Hora"), moment.time()}});
    keys.insert(NombreTabla, registro, fich_entrada);
}

}  // namespace vexilo::schema
