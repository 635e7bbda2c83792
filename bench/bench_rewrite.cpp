// The text rewrite mode from end to end on a generated map (see benchjob.h), at 1x and 2x, to show the
// time grows linearly with the input. Target: the 1x run in under 10 s on a 2-core machine. The pass
// only reads the database, so every job shares the generated one.

#include "bench/benchjob.h"

namespace {

using namespace vexilo;

void BM_RewriteText(benchmark::State& state) {
    bench::wholeJob(state, app::Mode::RewriteText,
                    bench::sample(QStringLiteral("rewrite"), state.range(0), 7), bench::Base::Shared);
}

BENCHMARK(BM_RewriteText)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
