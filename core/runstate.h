#pragma once
// The run state: the window's form-level variables, shared by every step of a job. The window owns one
// RunState for its whole life; nothing in it is reset between jobs except where a step says so.
// What one job caches beside it lives in `caches`, made anew for every job (core/runcaches.h).

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/display.h"
#include "core/records.h"
#include "core/runcaches.h"
#include "core/runreport.h"
#include "core/textobserver.h"
#include "platform/dao.h"

namespace vexilo::core {

struct RunState {
    RunState() = default;
    RunState(const RunState&) = delete;
    RunState& operator=(const RunState&) = delete;

    Display* display = nullptr;  // where the job shows its progress and messages; never null during a job

    platform::Workspace* Wrk = nullptr;
    std::unique_ptr<platform::Database> Bd;
    std::unique_ptr<platform::Recordset> r;
    QString TextoEnBdD;
    std::int32_t numtrozos = 0;
    QString NombreBdD;
    QString NombreBin;
    QString NombreBinSalida;
    std::vector<core::RegMsCatalog> TablasMsCatalog{1};  // entry 0 unused
    std::vector<core::RegFeature> ElementosFeature{1};   // entry 0 unused
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
    TextObserver* textObserver = nullptr;  // told about every carried text element; none in the window

    RunCaches caches;  // this job's caches; the run driver gives every job fresh ones

    // What must still hold right before the job's changes are committed (the run driver checks that the
    // output can take its name); the end of a pass runs it before it closes Bd. Set by the run driver
    // for each job.
    std::function<void()> beforeCommit;
};

}  // namespace vexilo::core
