#pragma once
// The report of one job, element by element, as a JSON document (UTF-8, one object) that scripts can
// rely on. It is streamed while the pass goes (nothing of an element is kept after it is written) into
// a partial file beside the report's name (engines::partialName; a later job removes it when this
// process was killed), and takes that name only when the job has ended well or stopped, as the output
// drawing does (engines::publishFile); a failed job leaves none, and an old report of that name as it
// was. "-" writes to the standard output.
//
// The document: "programa", "bdd" (without a password), "entrada", "salida", "modo" ("no", "si",
// "texto"), "simulado", then "elementos", one object per carried text element in file order:
//   "desplazamiento", "codigo", "texto", and either "decision" or "omitido" (the reason in the words of
//   the counts after a job); with a table, "tabla", "entitynum", "registro", and in the assignment modes
//   "registro_nuevo" and "registro_reclamado"; "texto_nuevo" with the decision "reescribir".
// Then "totales" ("textos_procesados", "decisiones" and "omitidos" with every name and reason, zeros
// included, "registros_nuevos", "registros_reclamados") and "final": "terminado", or "detenido" with
// "parada" ("mensaje", "detalle", "desplazamiento": where the pass stopped, or null), or, on the standard
// output only, "fallido" with "error".

#include <QByteArray>
#include <QString>
#include <array>
#include <memory>

#include "app/rundriver.h"
#include "core/outcome.h"
#include "core/textobserver.h"

class QFileDevice;

namespace vexilo::app {

struct JobReportHead {
    QString database;  // as the user named it; shown without a password
    QString input;
    QString output;
    Mode mode = Mode::No;
    bool simulated = false;
};

class JobReport final : public core::TextObserver {
  public:
    // Opens the report (its temporary file, or the standard output for "-") and writes its head. A file
    // that cannot be written is a core::RunError.
    JobReport(const QString& path, const JobReportHead& head);
    // A report never finished is thrown away.
    ~JobReport() override;
    JobReport(const JobReport&) = delete;
    JobReport& operator=(const JobReport&) = delete;

    void text(const core::TextEntry& entry) override;
    void stoppedAt(std::int64_t offset) override;

    // Ends the document for the job's outcome and, for a job that finished or stopped, gives the file
    // its name (the file of a failed job is thrown away). textosProcesados: the job's count. A failure to
    // write or name the file is a core::RunError.
    void finish(const core::RunOutcome& outcome, std::int32_t textosProcesados);

    // The two halves of finish() for a job that publishes the report with its drawing (app::Job):
    // complete() ends the document, puts it on the disk and closes it, and gives the partial file it lies
    // in (empty for the standard output, which has nothing to publish); published() says that the file
    // is no longer the report's to throw away: it has taken its name, or a committed record names it for
    // the next job on the database.
    QString complete(const core::RunOutcome& outcome, std::int32_t textosProcesados);
    void published() { m_partial.clear(); }
    // The report's own name.
    const QString& path() const { return m_path; }

  private:
    void writeTotals(std::int32_t textosProcesados);
    void writeEnd(const core::RunOutcome& outcome);
    void flushIfFull();
    void flush();
    void discard() noexcept;

    QString m_path;
    std::unique_ptr<QFileDevice> m_device;
    QString m_partial;  // where a report to a file is written until it takes its name; empty once named
    bool m_assignment = true;
    QByteArray m_buffer;  // what is not yet on the device; its capacity is kept between flushes
    bool m_firstEntry = true;
    std::array<std::int64_t, core::kDecisionCount> m_decisions{};
    std::array<std::int64_t, core::kPassedOverCount> m_passedOver{};
    std::int64_t m_newRecords = 0;
    std::int64_t m_claimed = 0;
    std::int64_t m_stopOffset = -1;
};

}  // namespace vexilo::app
