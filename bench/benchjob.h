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
#include <algorithm>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/fileselection.h"
#include "app/job.h"
#include "bench/quietdisplay.h"
#include "tools/sample/sample.h"

namespace vexilo::bench {

inline sample::Result sample(const QString& name, std::int64_t factor, std::uint64_t seed) {
    sample::Options o;
    o.elements = 1'000'000 * factor;
    o.texts = 200'000 * factor;
    o.tables = 10;
    o.recordsPerTable = 20'000;
    o.seed = seed;
    const QString folder = QDir::temp().filePath(QStringLiteral("vexilo-bench-%1-%2x").arg(name).arg(factor));
    sample::Result r;
    r.database = QDir(folder).filePath(o.name + QStringLiteral(".sqlite"));
    r.drawing = QDir(folder).filePath(o.name + QStringLiteral(".bin"));
    if (!QFileInfo::exists(r.database) || !QFileInfo::exists(r.drawing)) {
        r = sample::generate(folder, o);
    }
    return r;
}

inline QString workingCopy(const QString& original) {
    const QString copy = original + QStringLiteral(".trabajo.sqlite");
    QFile::remove(copy);
    QFile::remove(copy + QStringLiteral("-journal"));
    return QFile::copy(original, copy) ? copy : QString();
}

// Linux: writing 5 to clear_refs resets the peak resident size that VmHWM reports.
inline void resetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

inline double peakMemoryMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024.0;  // reported in kB
        }
    }
    return 0.0;
}

enum class Base { Shared, Copy };

// The database one job of the benchmark runs on, made ready with the clock stopped (empty: it could
// not be made).
using PrepareDatabase = std::function<QString()>;
// Work timed just before each job, with the job's clock stopped, giving its own seconds: a floor that
// meets the same moments of a shared machine as the job it is set against.
using Beside = std::function<double()>;

// The middle one of `seconds` (0 when there are none): one slow run on a shared machine moves it least.
inline double median(std::vector<double> seconds) {
    std::sort(seconds.begin(), seconds.end());
    return seconds.empty() ? 0.0 : seconds[seconds.size() / 2];
}

// Runs the job once per iteration; with `beside`, run just before each job, also reports floor_s, the
// median of its runs, and ratio_to_floor, the median of each job's time over the floor's just before it.
inline void wholeJob(benchmark::State& state, app::Mode mode, const sample::Result& r,
                     const PrepareDatabase& prepare, const Beside& beside = {}) {
    QuietDisplay display;
    std::int64_t texts = 0;
    std::vector<double> seconds;  // each job alone, without preparing its copy
    std::vector<double> floors;
    for (auto _ : state) {
        state.PauseTiming();
        if (beside) {
            floors.push_back(beside());
        }
        const app::JobInputs in{prepare(), r.drawing, app::outputNameOf(r.drawing), mode, {}};
        if (in.NombreBdD.isEmpty()) {
            state.SkipWithError("no se pudo preparar la base de datos");
            return;
        }
        resetPeakMemory();
        state.ResumeTiming();
        QElapsedTimer clock;
        clock.start();
        app::Job job(in, display);
        const core::RunOutcome end = job.run();
        seconds.push_back(clock.nsecsElapsed() / 1e9);
        if (end.kind != core::RunOutcome::Kind::Finished) {
            state.SkipWithError((end.message + end.description).toStdString().c_str());
            return;
        }
        texts = job.TextosProcesados();
    }
    state.counters["elements"] = static_cast<double>(state.range(0) * 1'000'000);
    state.counters["textos_procesados"] = static_cast<double>(texts);
    state.counters["peak_rss_mb"] = peakMemoryMb();
    state.counters["job_s"] = median(seconds);
    if (!floors.empty() && floors.size() == seconds.size()) {
        // Each job over the floor run just before it: a moment when the machine was slower for both
        // moves neither the ratio nor the median of the ratios.
        std::vector<double> ratios;
        for (std::size_t i = 0; i < seconds.size(); ++i) {
            ratios.push_back(seconds[i] / floors[i]);
        }
        state.counters["floor_s"] = median(floors);
        state.counters["ratio_to_floor"] = median(ratios);
    }
    state.SetBytesProcessed(state.iterations() * QFileInfo(r.drawing).size());
}

inline void wholeJob(benchmark::State& state, app::Mode mode, const sample::Result& r, Base base,
                     const Beside& beside = {}) {
    wholeJob(
        state, mode, r, [&] { return base == Base::Copy ? workingCopy(r.database) : r.database; }, beside);
}

}  // namespace vexilo::bench
