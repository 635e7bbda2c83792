// The text assignment mode from end to end on a generated map (see benchjob.h), in both of its options,
// at 1x and 2x, to show that the time grows linearly with the input. Target: the 1x run in under 10 s
// on a 2-core machine, the 2x run in at most 2.3 times that, and a peak memory set by the attribute
// tables, not by the drawing (streamed). The pass writes to the database, so each job gets a fresh copy.

#include "bench/benchjob.h"

namespace {

using namespace vexilo;

void BM_AssignNo(benchmark::State& state) {
    bench::wholeJob(state, app::Mode::No, bench::sample(QStringLiteral("assign"), state.range(0), 11),
                    bench::Base::Copy);
}

void BM_AssignSi(benchmark::State& state) {
    bench::wholeJob(state, app::Mode::Si, bench::sample(QStringLiteral("assign"), state.range(0), 11),
                    bench::Base::Copy);
}

BENCHMARK(BM_AssignNo)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_AssignSi)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
