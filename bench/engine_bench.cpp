// The engine layer's fast paths at the sizes the run's caches meet: 100k rows written in one
// transaction, read back whole, updated by identity, and walked through a recordset.
//
//   build/bench/engine_bench --benchmark_counters_tabular=true

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "engines/dao.h"

namespace {

using namespace vexilo::engines;

constexpr int kRows = 100000;

struct Fixture {
    QTemporaryDir dir;
    std::unique_ptr<Database> db;

    Fixture() {
        db = CreateDatabase(dir.filePath("bench.sqlite"));
        TableDef def = Database::CreateTableDef("PARCELAS");
        def.Append(TableDef::CreateField("MsLink", dbLong));
        def.Append(TableDef::CreateField("tcomplet", dbText));
        def.Append(TableDef::CreateField("tmapa", dbText, 100));
        def.Append(TableDef::CreateField("tfeature", dbLong));
        def.Append(TableDef::CreateField("clasific", dbInteger));
        db->AppendTableDef(def);
    }

    void fill() {
        db->BeginTrans();
        for (int i = 0; i < kRows; ++i) {
            db->InsertRow("PARCELAS",
                          {{"mslink", i + 1}, {"tmapa", QStringLiteral("CALLE MAYOR %1").arg(i)}});
        }
        db->CommitTrans();
    }
};

void InsertRowsInOneTransaction(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        Fixture f;
        state.ResumeTiming();
        f.fill();
        state.PauseTiming();
        f.db->Close();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(InsertRowsInOneTransaction)->Unit(benchmark::kMillisecond);

void ReadRowsOfATable(benchmark::State& state) {
    Fixture f;
    f.fill();
    for (auto _ : state) {
        const auto rows = f.db->ReadRows("PARCELAS", {"mslink", "tmapa", "tfeature"});
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(ReadRowsOfATable)->Unit(benchmark::kMillisecond);

void UpdateRowsByIdentity(benchmark::State& state) {
    Fixture f;
    f.fill();
    const auto rows = f.db->ReadRows("PARCELAS", {});
    int round = 0;
    for (auto _ : state) {
        ++round;
        f.db->BeginTrans();
        for (const auto& row : rows) {
            f.db->UpdateRow("PARCELAS", row.id, {{"tfeature", round}});
        }
        f.db->CommitTrans();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(UpdateRowsByIdentity)->Unit(benchmark::kMillisecond);

void WalkARecordset(benchmark::State& state) {
    Fixture f;
    f.fill();
    for (auto _ : state) {
        auto r = f.db->OpenRecordset(Query::all("PARCELAS"), dbOpenSnapshot);
        qint64 sum = 0;
        for (r->MoveFirst(); !r->Eof(); r->MoveNext()) {
            sum += r->Value("mslink").toLongLong();
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(WalkARecordset)->Unit(benchmark::kMillisecond);

// One row written and committed on its own, as a step without a transaction does (the cost of
// durability: each commit waits for the disk).
void InsertRowsEachCommitted(benchmark::State& state) {
    Fixture f;
    int i = 0;
    for (auto _ : state) {
        f.db->InsertRow("PARCELAS", {{"mslink", ++i}, {"tmapa", QStringLiteral("CALLE")}});
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(InsertRowsEachCommitted)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
