#pragma once
// The run log CONTROLPROCESO: which attribute record received which text from which drawing file,
// and when. Rows are only ever added.

#include <QString>
#include <cstdint>

#include <QDate>
#include <QTime>
#include <memory>

#include "core/clock.h"
#include "engines/dao.h"

namespace vexilo::schema {

class RunLogKeys;

// The run log's table, as it is created.
inline const QString kControlProceso = QStringLiteral("CONTROLPROCESO");

// Creates CONTROLPROCESO with its seven fields in order (NombreTabla text 255, mslink 32-bit,
// RegistroATR 32-bit, NombreFichero text 255, TMapa text 100, Fecha date, Hora date). An engine error
// propagates.
void creaTablaControlProceso(engines::Database& bd);

// One job's writer of CONTROLPROCESO rows: the database, the clock the rows are dated by, and what it
// learns as it goes (the keys already logged, read on first use; the moment of the current second).
class RunLog {
  public:
    RunLog(engines::Database& bd, core::Clock& clock);
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

  private:
    friend void AnadeAControlProceso(RunLog& log, const QString& NombreTabla, std::int32_t registro,
                                     const QString& fich_entrada, const QString& texto_en_mapa,
                                     std::int32_t registro_grafico_igual_tabla);
    RunLogKeys& keys();
    void refreshMoment();

    engines::Database& m_bd;
    core::Clock& m_clock;
    std::unique_ptr<RunLogKeys> m_keys;
    std::unique_ptr<engines::Database::RowInserter> m_rows;  // prepared at the first row
    qint64 m_second = 0;
    bool m_momentKnown = false;
    QDate m_date;
    QTime m_time;
};

// Adds a row unless one with the same table, mslink and file is there already (table and file compared
// without regard to case, mslink numerically; a stored Null never matches). The first row keeps its
// text, RegistroATR, date and time. Fecha holds today's date at midnight, Hora the time of day on
// 30 December 1899 (the engine stores both as 'YYYY-MM-DD HH:MM:SS' text), from the log's clock. The
// duplicate test runs against a key set read once per job. An engine error (a value too long for its
// field) propagates and adds no row.
void AnadeAControlProceso(RunLog& log, const QString& NombreTabla, std::int32_t registro,
                          const QString& fich_entrada, const QString& texto_en_mapa,
                          std::int32_t registro_grafico_igual_tabla);

}  // namespace vexilo::schema
