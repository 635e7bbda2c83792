#pragma once
// The run state: the window's form-level variables, shared by every step of a job. The window owns one
// RunState for its whole life; nothing in it is reset between jobs except where a step says so.
// Per-run caches (catalog indexes, attribute table indexes, the log's key set) hang off it too; each
// is rebuilt by the run that needs it.

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/display.h"
#include "app/runreport.h"
#include "catalog/records.h"
#include "platform/dao.h"

namespace vexilo::catalog {
class MsCatalogIndex;
class FeatureIndex;
class TextosBdD;
}  // namespace vexilo::catalog
namespace vexilo::schema {
class RunLogKeys;
}  // namespace vexilo::schema

namespace vexilo::app {

struct RunState {
    RunState();
    ~RunState();
    RunState(const RunState&) = delete;
    RunState& operator=(const RunState&) = delete;

    Display* display = nullptr;  // where the job shows its progress and messages; never null during a job

    platform::Workspace* Wrk = nullptr;
    std::unique_ptr<platform::Database> Bd;
    std::unique_ptr<platform::Recordset> r;
    QString TextoEnBdD;
    std::int32_t numtrozos = 0;
    QString NombreBinBase;
    QString NombreBdD;
    QString NombreBin;
    QString NombreBinSalida;
    std::vector<catalog::RegMsCatalog> TablasMsCatalog{1};  // entry 0 unused
    std::vector<catalog::RegFeature> ElementosFeature{1};   // entry 0 unused
    std::int32_t NumTablasMsCatalog = 0;
    std::int32_t NumElementosFeature = 0;
    QString NombreTablaActual;
    std::int32_t EntitynumActual = 0;
    std::int32_t TextosProcesados = 0;
    std::int32_t NumeroTablas = 0;
    bool TablaEncontrada = false;
    bool MantenerAsignaciones = false;
    std::int32_t RegistroGrafico = 0;
    bool CorregirEnlace = false;
    bool CorregirRegistro = false;
    double PorcentajeAnterior = 0.0;
    QString DirectorioBdD;
    QString DirectorioBin;
    std::int32_t HoraInicio = 0;  // time of day in whole seconds at which the job started

    RunReport report;  // elements passed over in the current job, by reason; reset when a job starts

    // Per-run caches: add members here as std::unique_ptr of forward-declared types, and include their
    // headers in runstate.cpp so the destructor sees them complete.
    std::unique_ptr<catalog::TextosBdD> textosBdD;            // attribute texts read by the rewrite pass
    std::unique_ptr<catalog::MsCatalogIndex> msCatalogIndex;  // lookups by name and by entity number
    std::unique_ptr<catalog::FeatureIndex> featureIndex;      // lookups by feature code
    std::unique_ptr<schema::RunLogKeys> runLogKeys;           // identities of the CONTROLPROCESO rows
    // Drops every per-run cache, so that nothing read from an earlier job or database is used again.
    // The schema check calls it first thing in every job; a new cache member belongs here too.
    void resetRunCaches();
};

}  // namespace vexilo::app
