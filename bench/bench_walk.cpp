// Raw speed of the walk: a generated drawing of 1,000,000 elements copied through the reader, the walk
// and the writer with a pass that changes nothing. The file is built once, with the production writer,
// in the system's temporary folder, and removed at the end.
//
//   build/bench/bench_walk [--benchmark_repetitions=3]

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>

#include "drawing/binfile.h"
#include "drawing/walk.h"

namespace {

using namespace vexilo::drawing;

constexpr std::int64_t kElements = 1'000'000;

// A cheap, deterministic mix like a real map: most elements are lines (C), about a third are texts of
// one to three chunks with one or two links, one in twenty is dropped.
void generate(const QString& path) {
    BinWriter out(path);
    Element e;
    std::uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return state >> 16;
    };
    for (std::int64_t i = 0; i < kElements; ++i) {
        const std::uint32_t kind = next() % 20;
        e.block.fill(static_cast<std::uint8_t>(i));
        e.chunks.clear();
        e.links.clear();
        if (kind < 7) {
            e.header.tipo = {layout::kClassT, layout::kCarried};
            e.body.assign(1, Record12{});
            e.chunks.assign(1 + next() % 3,
                            Record12{'C', 'A', 'L', 'L', 'E', ' ', 'M', 'A', 'Y', 'O', 'R', ' '});
            e.links.resize(1 + next() % 2);
        } else {
            e.header.tipo = {layout::kClassC, kind == 19 ? ' ' : layout::kCarried};
            e.body.assign(next() % 8, Record12{});
        }
        for (EnlaceAtributo& l : e.links) {
            l.entitynum = 5;
            l.mslink = static_cast<std::int32_t>(i);
            l.reservado.fill(' ');
        }
        e.header.codigo = {'1', '2', '3', 0, 0, 0, 0};
        e.header.numRegistros = static_cast<std::int16_t>(e.body.size() + e.chunks.size());
        e.header.numEnlaces = static_cast<std::uint8_t>(e.links.size());
        out.write(e);
    }
    out.close();
}

struct Drawing {
    QTemporaryDir dir;
    QString input = dir.filePath(QStringLiteral("mapa.bin"));
    QString output = dir.filePath(QStringLiteral("mapa_s.bin"));
    Drawing() { generate(input); }
};

Drawing& drawing() {
    static Drawing d;
    return d;
}

void BM_CopyWalk(benchmark::State& state) {
    Drawing& d = drawing();
    std::int64_t bytes = 0;
    std::int64_t texts = 0;
    std::int64_t progressCalls = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(d.output);  // a fresh output, as the run gets after choosing the drawing
        state.ResumeTiming();
        BinReader in(d.input);
        BinWriter out(d.output);
        walk(
            in, out, [&texts](Element&) { ++texts; },
            [&progressCalls](std::int64_t, std::int64_t) { ++progressCalls; });
        out.close();
        bytes += in.length();
    }
    state.SetItemsProcessed(state.iterations() * kElements);
    state.SetBytesProcessed(bytes);
    state.counters["texts"] = static_cast<double>(texts) / static_cast<double>(state.iterations());
    state.counters["progress"] = static_cast<double>(progressCalls) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_CopyWalk)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
