// The text assignment mode ("No", the default) from end to end on a generated map: 1,000,000 elements
// (200,000 texts over 10 attribute tables of 20,000 records), and twice that, to show that the time
// grows linearly with the input. Target: the 1x run in under 10 s on a 2-core machine, the 2x run in at
// most 2.3 times that, and a peak memory set by the attribute tables, not by the drawing (streamed).
//
// The sample files are generated once into $TMPDIR/vexilo-bench-assign-<n>x and reused by later runs.
// The pass writes to the database, so every job runs on a fresh copy of the generated one (copied with
// the clock stopped). peak_rss_mb is the peak resident size of the job alone: it is reset before each.

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fstream>
#include <string>

#include "app/fileselection.h"
#include "app/rundriver.h"
#include "app/runstate.h"
#include "tools/sample/sample.h"

namespace {

using namespace vexilo;

class QuietDisplay : public app::Display {
  public:
    void setText(app::Control, const QString&) override {}
    void setProgress(int) override {}
    void setFinishedVisible(bool) override {}
    void setPointer(app::Pointer) override {}
    void message(const QString&, platform::Icon) override {}
};

sample::Result muestra(std::int64_t factor) {
    sample::Options o;
    o.elements = 1'000'000 * factor;
    o.texts = 200'000 * factor;
    o.tables = 10;
    o.recordsPerTable = 20'000;
    o.seed = 11;
    const QString carpeta = QDir::temp().filePath(QStringLiteral("vexilo-bench-assign-%1x").arg(factor));
    sample::Result r;
    r.database = QDir(carpeta).filePath(o.name + QStringLiteral(".sqlite"));
    r.drawing = QDir(carpeta).filePath(o.name + QStringLiteral(".bin"));
    if (!QFileInfo::exists(r.database) || !QFileInfo::exists(r.drawing)) {
        r = sample::genera(carpeta, o);
    }
    return r;
}

QString copiaDeTrabajo(const QString& original) {
    const QString copia = original + QStringLiteral(".trabajo.sqlite");
    QFile::remove(copia);
    QFile::remove(copia + QStringLiteral("-journal"));
    if (!QFile::copy(original, copia)) {
        return {};
    }
    return copia;
}

// Linux: writing 5 to clear_refs resets the peak resident size that VmHWM reports.
void reiniciaPicoMemoria() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

double picoMemoriaMb() {
    std::ifstream status("/proc/self/status");
    std::string linea;
    while (std::getline(status, linea)) {
        if (linea.rfind("VmHWM:", 0) == 0) {
            return std::stod(linea.substr(6)) / 1024.0;  // reported in kB
        }
    }
    return 0.0;
}

void asigna(benchmark::State& state, app::Modo modo) {
    const sample::Result r = muestra(state.range(0));
    QuietDisplay display;
    std::int64_t textos = 0;
    for (auto _ : state) {
        state.PauseTiming();
        app::RunState f;
        f.display = &display;
        f.NombreBdD = copiaDeTrabajo(r.database);
        f.NombreBin = r.drawing;
        f.NombreBinSalida = app::nombreDeSalida(r.drawing);
        if (f.NombreBdD.isEmpty()) {
            state.SkipWithError("no se pudo copiar la base de datos");
            return;
        }
        reiniciaPicoMemoria();
        state.ResumeTiming();
        const app::RunOutcome fin = app::Command1_Click(f, modo);
        if (fin.kind != app::RunOutcome::Kind::Finished) {
            state.SkipWithError((fin.message + fin.description).toStdString().c_str());
            return;
        }
        textos = f.TextosProcesados;
    }
    state.counters["elements"] = static_cast<double>(state.range(0) * 1'000'000);
    state.counters["textos_procesados"] = static_cast<double>(textos);
    state.counters["peak_rss_mb"] = picoMemoriaMb();
    state.SetBytesProcessed(state.iterations() * QFileInfo(r.drawing).size());
}

// Only the default mode: with "Sí" the generated map's links carry numbers that climb through the range
// below 60000, so new records numbered by the rule soon find no number left and the job stops there.
void BM_AsignaNo(benchmark::State& state) {
    asigna(state, app::Modo::No);
}

BENCHMARK(BM_AsignaNo)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
