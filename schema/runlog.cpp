#include "schema/runlog.h"

#include <QDate>
#include <QTime>
#include <QTimeZone>

#include "schema/runlogkeys.h"

namespace vexilo::schema {

void creaTablaControlProceso(engines::Database& bd) {
    using engines::TableDef;
    TableDef def = engines::Database::CreateTableDef(kControlProceso);
    def.Append(TableDef::CreateField(QStringLiteral("NombreTabla"), engines::dbText, 255));
    def.Append(TableDef::CreateField(QStringLiteral("mslink"), engines::dbLong));
    def.Append(TableDef::CreateField(QStringLiteral("RegistroATR"), engines::dbLong));
    def.Append(TableDef::CreateField(QStringLiteral("NombreFichero"), engines::dbText, 255));
    def.Append(TableDef::CreateField(QStringLiteral("TMapa"), engines::dbText, 100));
    def.Append(TableDef::CreateField(QStringLiteral("Fecha"), engines::dbDate));
    def.Append(TableDef::CreateField(QStringLiteral("Hora"), engines::dbDate));
    // Only AnadeAControlProceso writes it, whose numbers are 32-bit and whose texts the engine layer
    // measures against their fields before binding them: checks in the table would test every row again.
    def.SetWrittenByLayerOnly();
    bd.AppendTableDef(def);
}

RunLog::RunLog(engines::Database& bd, core::Clock& clock) : m_bd(bd), m_clock(clock) {}

RunLog::~RunLog() = default;

RunLogKeys& RunLog::keys() {
    if (!m_keys) {
        m_keys = std::make_unique<RunLogKeys>(m_bd);
    }
    return *m_keys;
}

// The moment of the logging as Fecha and Hora hold it, taken from the clock once per second: a job
// logs hundreds of thousands of rows, and the local time costs a look at the time-zone rules each time.
void RunLog::refreshMoment() {
    const qint64 second = m_clock.epochSecond();
    if (second == m_second && m_momentKnown) {
        return;
    }
    // A QDate and a QTime carry the local fields as they are, so no time-zone rule can move a midnight
    // that the zone skips. Both are stored in whole seconds.
    const QDateTime moment = m_clock.now();
    const QTime time = moment.time();
    m_date = moment.date();
    m_time = QTime(time.hour(), time.minute(), time.second());
    m_second = second;
    m_momentKnown = true;
}

void AnadeAControlProceso(RunLog& log, const QString& NombreTabla, std::int32_t registro,
                          const QString& fich_entrada, const QString& texto_en_mapa,
                          std::int32_t registro_grafico_igual_tabla) {
    RunLogKeys& keys = log.keys();
    if (keys.contains(NombreTabla, registro, fich_entrada)) {
        return;
    }
    // The moment is split as a date/time field holds it: Fecha is the day (stored at midnight), Hora the
    // time of day (stored on day zero, 30 December 1899).
    log.refreshMoment();
    if (!log.m_rows) {
        log.m_rows = log.m_bd.PrepareAppend(
            kControlProceso, {QStringLiteral("NombreTabla"), QStringLiteral("mslink"),
                              QStringLiteral("RegistroAtr"), QStringLiteral("NombreFichero"),
                              QStringLiteral("tmapa"), QStringLiteral("Fecha"), QStringLiteral("Hora")});
    }
    using engines::PlainValue;
    log.m_rows->InsertPlain({PlainValue::borrowedText(NombreTabla), PlainValue::whole(registro),
                             PlainValue::whole(registro_grafico_igual_tabla),
                             PlainValue::borrowedText(fich_entrada), PlainValue::borrowedText(texto_en_mapa),
                             PlainValue::day(log.m_date), PlainValue::timeOfDay(log.m_time)});
    keys.insert(NombreTabla, registro, fich_entrada);
}

}  // namespace vexilo::schema
