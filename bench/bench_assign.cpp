// The text assignment mode from end to end on a generated map (see benchjob.h), in both of its options,
// at 1x and 2x, to show that the time grows linearly with the input. Target: the 1x run in under 10 s
// on a 2-core machine, the 2x run in at most 2.3 times that, and a peak memory set by the attribute
// tables, not by the drawing (streamed). The pass writes to the database, so each job gets a fresh copy.

#include "bench/benchjob.h"

namespace {

using namespace vexilo;

void BM_AsignaNo(benchmark::State& state) {
    bench::trabajoCompleto(state, app::Modo::No, bench::muestra(QStringLiteral("assign"), state.range(0), 11),
                           bench::Base::Copia);
}

void BM_AsignaSi(benchmark::State& state) {
    bench::trabajoCompleto(state, app::Modo::Si, bench::muestra(QStringLiteral("assign"), state.range(0), 11),
                           bench::Base::Copia);
}

BENCHMARK(BM_AsignaNo)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_AsignaSi)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
