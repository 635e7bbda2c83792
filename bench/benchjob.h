#pragma once
// A whole job ("Procesar") on a generated map, as the end-to-end benchmarks run it: 1,000,000 elements
// (200,000 texts over 10 attribute tables of 20,000 records) times the benchmark's argument.
//
// The sample files are generated once into $TMPDIR/vexilo-bench-<name>-<n>x and reused by later runs.
// A job that writes to the database runs on a fresh copy of it (copied with the clock stopped).
// peak_rss_mb is the peak resident size of the job alone: it is reset before each job.

#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <fstream>
#include <functional>
#include <string>

#include "app/fileselection.h"
#include "app/rundriver.h"
#include "bench/quietdisplay.h"
#include "core/runstate.h"
#include "tools/sample/sample.h"

namespace vexilo::bench {

inline sample::Result muestra(const QString& nombre, std::int64_t factor, std::uint64_t semilla) {
    sample::Options o;
    o.elements = 1'000'000 * factor;
    o.texts = 200'000 * factor;
    o.tables = 10;
    o.recordsPerTable = 20'000;
    o.seed = semilla;
    const QString carpeta =
        QDir::temp().filePath(QStringLiteral("vexilo-bench-%1-%2x").arg(nombre).arg(factor));
    sample::Result r;
    r.database = QDir(carpeta).filePath(o.name + QStringLiteral(".sqlite"));
    r.drawing = QDir(carpeta).filePath(o.name + QStringLiteral(".bin"));
    if (!QFileInfo::exists(r.database) || !QFileInfo::exists(r.drawing)) {
        r = sample::genera(carpeta, o);
    }
    return r;
}

inline QString copiaDeTrabajo(const QString& original) {
    const QString copia = original + QStringLiteral(".trabajo.sqlite");
    QFile::remove(copia);
    QFile::remove(copia + QStringLiteral("-journal"));
    return QFile::copy(original, copia) ? copia : QString();
}

// Linux: writing 5 to clear_refs resets the peak resident size that VmHWM reports.
inline void reiniciaPicoMemoria() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

inline double picoMemoriaMb() {
    std::ifstream status("/proc/self/status");
    std::string linea;
    while (std::getline(status, linea)) {
        if (linea.rfind("VmHWM:", 0) == 0) {
            return std::stod(linea.substr(6)) / 1024.0;  // reported in kB
        }
    }
    return 0.0;
}

enum class Base { Compartida, Copia };

// The database one job of the benchmark runs on, made ready with the clock stopped (empty: it could
// not be made).
using PreparaBase = std::function<QString()>;

inline void trabajoCompleto(benchmark::State& state, app::Modo modo, const sample::Result& r,
                            const PreparaBase& prepara) {
    QuietDisplay display;
    std::int64_t textos = 0;
    double seconds = 0.0;  // the jobs alone, without preparing their copies
    for (auto _ : state) {
        state.PauseTiming();
        core::RunState f;
        f.display = &display;
        f.NombreBdD = prepara();
        f.NombreBin = r.drawing;
        f.NombreBinSalida = app::nombreDeSalida(r.drawing);
        if (f.NombreBdD.isEmpty()) {
            state.SkipWithError("no se pudo preparar la base de datos");
            return;
        }
        reiniciaPicoMemoria();
        state.ResumeTiming();
        QElapsedTimer clock;
        clock.start();
        const core::RunOutcome fin = app::Command1_Click(f, modo);
        seconds += clock.nsecsElapsed() / 1e9;
        if (fin.kind != core::RunOutcome::Kind::Finished) {
            state.SkipWithError((fin.message + fin.description).toStdString().c_str());
            return;
        }
        textos = f.TextosProcesados;
    }
    state.counters["elements"] = static_cast<double>(state.range(0) * 1'000'000);
    state.counters["textos_procesados"] = static_cast<double>(textos);
    state.counters["peak_rss_mb"] = picoMemoriaMb();
    state.counters["job_s"] =
        state.iterations() > 0 ? seconds / static_cast<double>(state.iterations()) : 0.0;
    state.SetBytesProcessed(state.iterations() * QFileInfo(r.drawing).size());
}

inline void trabajoCompleto(benchmark::State& state, app::Modo modo, const sample::Result& r, Base base) {
    trabajoCompleto(state, modo, r,
                    [&] { return base == Base::Copia ? copiaDeTrabajo(r.database) : r.database; });
}

}  // namespace vexilo::bench
