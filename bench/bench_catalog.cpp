// Per-call cost of the catalog lookups and of the run log's duplicate test, with catalogs and logs of
// 10 and 1,000,000 rows. Both are answered from structures built once per run, so the cost per call
// should not grow with the tables.
//
//   build/bench/bench_catalog --benchmark_counters_tabular=true

#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <algorithm>
#include <memory>
#include <vector>

#include "catalog/catalogcache.h"
#include "desktop/services.h"
#include "schema/runlog.h"

namespace {

using namespace vexilo;

// A catalog of n tables and n features filled in memory, as the loads leave it.
void fillCatalog(catalog::Catalog& c, std::int32_t n) {
    c.TablasMsCatalog.assign(static_cast<std::size_t>(n) + 1, {});
    c.ElementosFeature.assign(static_cast<std::size_t>(n) + 1, {});
    for (std::int32_t i = 1; i <= n; ++i) {
        c.TablasMsCatalog[static_cast<std::size_t>(i)] = {QStringLiteral("TABLA%1").arg(i), i};
        c.ElementosFeature[static_cast<std::size_t>(i)] = {QStringLiteral("TABLA%1").arg(i), i,
                                                           static_cast<std::int16_t>(i % 5), false};
    }
    c.NumTablasMsCatalog = n;
    c.NumElementosFeature = n;
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
    catalog::Catalog c;
    fillCatalog(c, static_cast<std::int32_t>(state.range(0)));
    std::vector<QString> codes;
    for (std::int32_t key : keysOver(c.NumElementosFeature)) {
        codes.push_back(QString::number(key).rightJustified(7, QLatin1Char('0')));
    }
    QString codigo = codes[0];
    catalog::busca_Feature(c, codigo);  // builds the index outside the measured loop
    std::size_t k = 0;
    for (auto _ : state) {
        codigo = codes[k++ % codes.size()];
        catalog::FeatureMatch match = catalog::busca_Feature(c, codigo);
        benchmark::DoNotOptimize(match);
    }
}

void BM_busca_entitynum(benchmark::State& state) {
    catalog::Catalog c;
    fillCatalog(c, static_cast<std::int32_t>(state.range(0)));
    std::vector<QString> names;
    for (std::int32_t key : keysOver(c.NumTablasMsCatalog)) {
        names.push_back(QStringLiteral("TABLA%1").arg(key));
    }
    catalog::busca_entitynum(c, names[0]);  // builds the index outside the measured loop
    std::size_t k = 0;
    for (auto _ : state) {
        std::int32_t entitynum = catalog::busca_entitynum(c, names[k++ % names.size()]);
        benchmark::DoNotOptimize(entitynum);
    }
}

void BM_busca_NombreTabla(benchmark::State& state) {
    catalog::Catalog c;
    fillCatalog(c, static_cast<std::int32_t>(state.range(0)));
    const std::vector<std::int32_t> keys = keysOver(c.NumTablasMsCatalog);
    catalog::busca_NombreTabla(c, keys[0]);  // builds the index outside the measured loop
    std::size_t k = 0;
    for (auto _ : state) {
        QString name = catalog::busca_NombreTabla(c, keys[k++ % keys.size()]);
        benchmark::DoNotOptimize(name);
    }
}

// A database whose CONTROLPROCESO already holds n rows, logged from another drawing, and one job's
// writer of its rows.
struct LogDatabase {
    explicit LogDatabase(std::int64_t n)
        : Bd(engines::CreateDatabase(dir.filePath(QStringLiteral("log.db")))) {
        schema::creaTablaControlProceso(*Bd);
        Bd->BeginTrans();
        for (std::int64_t i = 0; i < n; ++i) {
            Bd->InsertRow(QStringLiteral("CONTROLPROCESO"),
                          {{QStringLiteral("NombreTabla"), QStringLiteral("CALLE")},
                           {QStringLiteral("mslink"), static_cast<int>(i)},
                           {QStringLiteral("NombreFichero"), QStringLiteral("C:/mapas/viejo.bin")},
                           {QStringLiteral("tmapa"), QStringLiteral("texto")}});
        }
        Bd->CommitTrans();
        log = std::make_unique<schema::RunLog>(*Bd, desktop::services().clock());
    }
    ~LogDatabase() {
        log.reset();
        Bd->Close();
    }
    QTemporaryDir dir;
    std::unique_ptr<engines::Database> Bd;
    std::unique_ptr<schema::RunLog> log;
};

// A call that finds its row already logged: the common case of a run over an already processed map.
void BM_AnadeAControlProceso_duplicate(benchmark::State& state) {
    LogDatabase db(state.range(0));
    const std::vector<std::int32_t> keys = keysOver(static_cast<std::int32_t>(state.range(0)));
    schema::AnadeAControlProceso(*db.log, "CALLE", 0, "C:/mapas/viejo.bin", "texto", 0);  // reads the keys
    std::size_t k = 0;
    for (auto _ : state) {
        schema::AnadeAControlProceso(*db.log, "calle", keys[k++ % keys.size()] - 1, "c:/MAPAS/viejo.bin",
                                     "texto", 0);
    }
}

// A call that adds its row (inside one transaction, as a job groups its writes).
void BM_AnadeAControlProceso_new(benchmark::State& state) {
    LogDatabase db(state.range(0));
    schema::AnadeAControlProceso(*db.log, "CALLE", -1, "C:/mapas/nuevo.bin", "texto", 0);
    db.Bd->BeginTrans();
    std::int32_t i = 0;
    for (auto _ : state) {
        schema::AnadeAControlProceso(*db.log, "CALLE", i++, "C:/mapas/nuevo.bin", "texto", 0);
    }
    db.Bd->CommitTrans();
}

BENCHMARK(BM_busca_Feature)->Arg(10)->Arg(1000000);
BENCHMARK(BM_busca_entitynum)->Arg(10)->Arg(1000000);
BENCHMARK(BM_busca_NombreTabla)->Arg(10)->Arg(1000000);
BENCHMARK(BM_AnadeAControlProceso_duplicate)->Arg(10)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AnadeAControlProceso_new)->Arg(10)->Arg(1000000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
