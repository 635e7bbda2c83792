// Per-call cost of the catalog lookups and of the run log's duplicate test, with catalogs and logs of
// 10 and 1,000,000 rows. Both are answered from structures built once per run, so the cost per call
// should not grow with the tables.
//
//   build/bench/bench_catalog --benchmark_counters_tabular=true

#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <algorithm>
#include <vector>

#include "bench/quietdisplay.h"
#include "catalog/catalogcache.h"
#include "core/runstate.h"
#include "schema/runlog.h"

namespace {

using namespace vexilo;

using SilentDisplay = bench::QuietDisplay;

// A catalog of n tables and n features filled in memory, as the loads leave it.
void fillCatalog(core::RunState& f, std::int32_t n) {
    f.TablasMsCatalog.assign(static_cast<std::size_t>(n) + 1, {});
    f.ElementosFeature.assign(static_cast<std::size_t>(n) + 1, {});
    for (std::int32_t i = 1; i <= n; ++i) {
        f.TablasMsCatalog[static_cast<std::size_t>(i)] = {QStringLiteral("TABLA%1").arg(i), i};
        f.ElementosFeature[static_cast<std::size_t>(i)] = {QStringLiteral("TABLA%1").arg(i), i,
                                                           static_cast<std::int16_t>(i % 5), false};
    }
    f.NumTablasMsCatalog = n;
    f.NumElementosFeature = n;
}

// The keys a run asks for: up to 1000 distinct ones spread evenly over the whole table (a map uses a
// limited set of codes and tables), so that the measure is the work per call, not the cache footprint.
std::vector<std::int32_t> keysOver(std::int32_t n) {
    const std::int32_t count = std::min(n, 1000);
    std::vector<std::int32_t> keys;
    for (std::int32_t k = 0; k < count; ++k) {
        keys.push_back(1 + static_cast<std::int32_t>(static_cast<std::int64_t>(k) * n / count));
    }
    return keys;
}

void BM_busca_Feature(benchmark::State& state) {
    core::RunState f;
    fillCatalog(f, static_cast<std::int32_t>(state.range(0)));
    std::vector<QString> codes;
    for (std::int32_t key : keysOver(f.NumElementosFeature)) {
        codes.push_back(QString::number(key).rightJustified(7, QLatin1Char('0')));
    }
    QString name;
    QString codigo = codes[0];
    catalog::busca_Feature(f, codigo, name);  // builds the index outside the measured loop
    std::size_t k = 0;
    for (auto _ : state) {
        codigo = codes[k++ % codes.size()];
        name.clear();
        catalog::busca_Feature(f, codigo, name);
        benchmark::DoNotOptimize(name);
    }
}

void BM_busca_entitynum(benchmark::State& state) {
    core::RunState f;
    fillCatalog(f, static_cast<std::int32_t>(state.range(0)));
    std::vector<QString> names;
    for (std::int32_t key : keysOver(f.NumTablasMsCatalog)) {
        names.push_back(QStringLiteral("TABLA%1").arg(key));
    }
    std::int32_t warm = 0;
    catalog::busca_entitynum(f, names[0], warm);  // builds the index outside the measured loop
    std::size_t k = 0;
    for (auto _ : state) {
        std::int32_t entitynum = 0;
        catalog::busca_entitynum(f, names[k++ % names.size()], entitynum);
        benchmark::DoNotOptimize(entitynum);
    }
}

void BM_busca_NombreTabla(benchmark::State& state) {
    core::RunState f;
    fillCatalog(f, static_cast<std::int32_t>(state.range(0)));
    const std::vector<std::int32_t> keys = keysOver(f.NumTablasMsCatalog);
    QString warm;
    catalog::busca_NombreTabla(f, keys[0], warm);  // builds the index outside the measured loop
    std::size_t k = 0;
    for (auto _ : state) {
        QString name;
        catalog::busca_NombreTabla(f, keys[k++ % keys.size()], name);
        benchmark::DoNotOptimize(name);
    }
}

// A database whose CONTROLPROCESO already holds n rows, logged from another drawing.
struct LogDatabase {
    explicit LogDatabase(std::int64_t n) {
        f.display = &display;
        f.Bd = platform::CreateDatabase(dir.filePath(QStringLiteral("log.db")));
        schema::creaTablaControlProceso(f);
        f.Bd->BeginTrans();
        for (std::int64_t i = 0; i < n; ++i) {
            f.Bd->InsertRow(QStringLiteral("CONTROLPROCESO"),
                            {{QStringLiteral("NombreTabla"), QStringLiteral("CALLE")},
                             {QStringLiteral("mslink"), static_cast<int>(i)},
                             {QStringLiteral("NombreFichero"), QStringLiteral("C:/mapas/viejo.bin")},
                             {QStringLiteral("tmapa"), QStringLiteral("texto")}});
        }
        f.Bd->CommitTrans();
    }
    ~LogDatabase() { f.Bd->Close(); }
    QTemporaryDir dir;
    SilentDisplay display;
    core::RunState f;
};

// A call that finds its row already logged: the common case of a run over an already processed map.
void BM_AnadeAControlProceso_duplicate(benchmark::State& state) {
    LogDatabase db(state.range(0));
    const std::vector<std::int32_t> keys = keysOver(static_cast<std::int32_t>(state.range(0)));
    schema::AnadeAControlProceso(db.f, "CALLE", 0, "C:/mapas/viejo.bin", "texto", 0);  // reads the keys
    std::size_t k = 0;
    for (auto _ : state) {
        schema::AnadeAControlProceso(db.f, "calle", keys[k++ % keys.size()] - 1, "c:/MAPAS/viejo.bin",
                                     "texto", 0);
    }
}

// A call that adds its row (inside one transaction, as a pass groups its writes).
void BM_AnadeAControlProceso_new(benchmark::State& state) {
    LogDatabase db(state.range(0));
    schema::AnadeAControlProceso(db.f, "CALLE", -1, "C:/mapas/nuevo.bin", "texto", 0);
    db.f.Bd->BeginTrans();
    std::int32_t i = 0;
    for (auto _ : state) {
        schema::AnadeAControlProceso(db.f, "CALLE", i++, "C:/mapas/nuevo.bin", "texto", 0);
    }
    db.f.Bd->CommitTrans();
}

BENCHMARK(BM_busca_Feature)->Arg(10)->Arg(1000000);
BENCHMARK(BM_busca_entitynum)->Arg(10)->Arg(1000000);
BENCHMARK(BM_busca_NombreTabla)->Arg(10)->Arg(1000000);
BENCHMARK(BM_AnadeAControlProceso_duplicate)->Arg(10)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AnadeAControlProceso_new)->Arg(10)->Arg(1000000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
