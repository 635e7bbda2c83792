// Loading the attribute indexes of a job: every attribute table of the benchmark's sample (200,000
// records over 10 tables) read into the in-memory index, against a floor of its own: the same rows and
// columns read through SQLite's C interface, each text's bytes touched, nothing kept. Both are the median
// of five runs, alternating; the ratio is the figure to follow.
//
//   build/bench/bench_index

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/benchjob.h"
#include "catalog/attributeindex.h"
#include "engines/engines.h"

namespace {

using namespace vexilo;

std::vector<std::string> attributeTables(sqlite3* db) {
    std::vector<std::string> names;
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT name FROM sqlite_master WHERE type = 'table' AND upper(name) NOT IN "
                       "('MSCATALOG', 'FEATURE', 'NOASIGNAR', 'CONTROLPROCESO') AND name NOT LIKE 'sqlite_%'",
                       -1, &s, nullptr);
    while (sqlite3_step(s) == SQLITE_ROW) {
        names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    }
    sqlite3_finalize(s);
    return names;
}

// The rows an index is loaded from, read and dropped.
double floorSeconds(const QString& path, const std::vector<std::string>& tables) {
    sqlite3* db = nullptr;
    // Without a mutex around every call, as the job's own connection is opened.
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        throw std::runtime_error("index floor: cannot open the database");
    }
    QElapsedTimer timer;
    timer.start();
    std::int64_t sum = 0;
    for (const std::string& t : tables) {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, ("SELECT rowid, mslink, tmapa, tcomplet, tfeature FROM \"" + t + "\"").c_str(),
                           -1, &s, nullptr);
        while (sqlite3_step(s) == SQLITE_ROW) {
            sum += sqlite3_column_int64(s, 0) + sqlite3_column_int64(s, 1);
            for (int c = 2; c < 5; ++c) {
                const unsigned char* text = sqlite3_column_text(s, c);
                const int n = sqlite3_column_bytes(s, c);
                for (int i = 0; i < n; ++i) {
                    sum += text[i];
                }
            }
        }
        sqlite3_finalize(s);
    }
    benchmark::DoNotOptimize(sum);
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    sqlite3_close(db);
    return seconds;
}

double loadSeconds(const QString& path, const std::vector<std::string>& tables) {
    const auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(path);
    QElapsedTimer timer;
    timer.start();
    {
        catalog::AttributeIndexes indexes(*db);
        std::size_t records = 0;
        for (const std::string& t : tables) {
            records += indexes.table(QString::fromStdString(t)).size();
        }
        benchmark::DoNotOptimize(records);
    }  // the indexes go as a job's go, at its end
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void BM_IndexLoad(benchmark::State& state) {
    const sample::Result r = bench::sample(QStringLiteral("floor"), 1, 7);
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(r.database).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    const std::vector<std::string> tables = attributeTables(db);
    sqlite3_close(db);
    std::vector<double> loads;
    std::vector<double> floors;
    for (auto _ : state) {
        for (int i = 0; i < 5; ++i) {
            floors.push_back(floorSeconds(r.database, tables));
            loads.push_back(loadSeconds(r.database, tables));
        }
        state.SetIterationTime(median(loads));
    }
    state.counters["load_s"] = median(loads);
    state.counters["floor_s"] = median(floors);
    state.counters["ratio_to_floor"] = median(loads) / median(floors);
}

BENCHMARK(BM_IndexLoad)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
