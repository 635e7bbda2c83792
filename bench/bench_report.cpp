// What the job's report costs: the default-mode job on the benchmarks' map (benchjob.h, 1x and 2x),
// without and with its report (vexilo-cli procesar --informe), alternately in one run. report_ratio is
// the time with the report over the time without it; peak_rss_mb of each shows that the report keeps
// nothing per element (the same at 1x and 2x), report_mb its size on the disk.

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <memory>

#include "app/jobreport.h"
#include "bench/benchjob.h"

namespace {

using namespace vexilo;

struct Timed {
    double seconds = 0.0;
    double peakMb = 0.0;
};

// One job on a fresh copy of the database, with its report at `report` unless that is empty.
Timed oneJob(benchmark::State& state, const sample::Result& r, const QString& report) {
    state.PauseTiming();
    bench::QuietDisplay display;
    const app::JobInputs in{
        bench::workingCopy(r.database), r.drawing, app::outputNameOf(r.drawing), app::Mode::No, {}};
    bench::resetPeakMemory();
    state.ResumeTiming();
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<app::JobReport> written;
    if (!report.isEmpty()) {
        written = std::make_unique<app::JobReport>(
            report, app::JobReportHead{in.NombreBdD, in.NombreBin, in.NombreBinSalida, in.mode, false});
    }
    app::Job job(in, display, written.get());
    const core::RunOutcome end = job.run();
    if (written) {
        written->finish(end, job.TextosProcesados());
    }
    const Timed t{clock.nsecsElapsed() / 1e9, bench::peakMemoryMb()};
    if (end.kind != core::RunOutcome::Kind::Finished) {
        state.SkipWithError((end.message + end.description).toStdString().c_str());
    }
    return t;
}

void BM_JobNoWithReport(benchmark::State& state) {
    const sample::Result r = bench::sample(QStringLiteral("floor"), state.range(0), 7);
    const QString report = r.drawing + QStringLiteral(".informe.json");
    Timed plain, reported;
    for (auto _ : state) {
        const Timed a = oneJob(state, r, QString());
        const Timed b = oneJob(state, r, report);
        plain.seconds += a.seconds;
        reported.seconds += b.seconds;
        plain.peakMb = std::max(plain.peakMb, a.peakMb);
        reported.peakMb = std::max(reported.peakMb, b.peakMb);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["job_s"] = plain.seconds / n;
    state.counters["with_report_s"] = reported.seconds / n;
    state.counters["report_ratio"] = reported.seconds / plain.seconds;
    state.counters["peak_rss_mb"] = plain.peakMb;
    state.counters["with_report_peak_rss_mb"] = reported.peakMb;
    state.counters["report_mb"] = static_cast<double>(QFileInfo(report).size()) / (1024.0 * 1024.0);
    QFile::remove(report);
}

BENCHMARK(BM_JobNoWithReport)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
