// The job beside the floor of the same work on SQLite's C interface alone, on the same generated map
// (benchjob.h, 1x and 2x), in the three modes. The floor reads every attribute row, copies the drawing,
// and makes the job's writes as prepared statements in one transaction (synchronous FULL, rollback
// journal): for each 1,000,000 elements, 280,000 log rows, 50,000 new records and 100,000 updates. The
// text rewrite, which writes nothing to the database, has a floor of its own (FloorTexto): the rows it
// reads, and the drawing copied. A job's floor is run just before each run of the job (three, one for
// 5M): ratio_to_floor is the median of each job run's time over the floor run's just before it, so that
// both meet the same moments of a shared machine; job_s and floor_s are the medians of their runs.
// BM_Floor and BM_FloorTexto show the floors alone. Targets on a 2-core machine: the default mode
// within 1.3 times the floor, "Sí" within 1.5, the rewrite within 1.5 times FloorTexto, and twice the
// input in at most 2.05 times the time.

#include <sqlite3.h>

#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/benchjob.h"

namespace {

using namespace vexilo;

class Db {
  public:
    explicit Db(const QString& path) {
        // One thread uses the connection, as the job's own connection is opened (QtSql's driver asks for
        // no mutex): the library's default would lock a mutex around every call of the floor.
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
            throw std::runtime_error("floor: cannot open the database");
        }
        exec("PRAGMA synchronous = FULL");
        exec("PRAGMA cache_size = -65536");
    }
    ~Db() { sqlite3_close(m_db); }
    void exec(const std::string& sql) {
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            throw std::runtime_error("floor: " + sql + ": " + sqlite3_errmsg(m_db));
        }
    }
    sqlite3_stmt* prepare(const std::string& sql) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
            throw std::runtime_error("floor: " + sql + ": " + sqlite3_errmsg(m_db));
        }
        return s;
    }
    static void step(sqlite3_stmt* s) {
        if (sqlite3_step(s) != SQLITE_DONE) {
            throw std::runtime_error("floor: a write failed");
        }
        sqlite3_reset(s);
    }
    std::vector<std::string> attributeTables() {
        std::vector<std::string> names;
        sqlite3_stmt* s = prepare(
            "SELECT name FROM sqlite_master WHERE type = 'table' AND upper(name) NOT IN "
            "('MSCATALOG', 'FEATURE', 'NOASIGNAR', 'CONTROLPROCESO') AND name NOT LIKE 'sqlite_%'");
        while (sqlite3_step(s) == SQLITE_ROW) {
            names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
        }
        sqlite3_finalize(s);
        return names;
    }

  private:
    sqlite3* m_db = nullptr;
};

// Reads every attribute row and keeps what an index would: the row identities per table.
std::map<std::string, std::vector<sqlite3_int64>> readAttributeRows(Db& db) {
    std::map<std::string, std::vector<sqlite3_int64>> rows;
    for (const std::string& t : db.attributeTables()) {
        sqlite3_stmt* s = db.prepare("SELECT rowid, mslink, tmapa, tcomplet, tfeature FROM \"" + t + "\"");
        auto& ids = rows[t];
        std::int64_t bytes = 0;
        while (sqlite3_step(s) == SQLITE_ROW) {
            ids.push_back(sqlite3_column_int64(s, 0));
            bytes += sqlite3_column_bytes(s, 2) + sqlite3_column_bytes(s, 3);
        }
        benchmark::DoNotOptimize(bytes);
        sqlite3_finalize(s);
    }
    return rows;
}

void copyDrawing(const QString& from, const QString& to) {
    QFile in(from);
    QFile out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        throw std::runtime_error("floor: cannot copy the drawing");
    }
    std::vector<char> buf(std::size_t{1} << 20);
    for (qint64 n; (n = in.read(buf.data(), static_cast<qint64>(buf.size()))) > 0;) {
        out.write(buf.data(), n);
    }
    out.flush();
    ::fsync(out.handle());
}

void floorWrites(Db& db, const std::map<std::string, std::vector<sqlite3_int64>>& rows, std::int64_t factor) {
    db.exec(
        "CREATE TABLE IF NOT EXISTS \"CONTROLPROCESO\" (NombreTabla VARCHAR(255), mslink INTEGER, "
        "RegistroATR "
        "INTEGER, NombreFichero VARCHAR(255), TMapa VARCHAR(100), Fecha DATETIME, Hora DATETIME)");
    db.exec("BEGIN IMMEDIATE");
    sqlite3_stmt* log = db.prepare("INSERT INTO \"CONTROLPROCESO\" VALUES (?, ?, ?, ?, ?, ?, ?)");
    std::map<std::string, sqlite3_stmt*> inserts;
    std::map<std::string, sqlite3_stmt*> updates;
    std::vector<std::string> tables;  // those holding records: the sample also catalogues an empty one
    for (const auto& [t, ids] : rows) {
        if (ids.empty()) {
            continue;
        }
        tables.push_back(t);
        inserts[t] = db.prepare("INSERT INTO \"" + t + "\" (mslink, tmapa, tfeature) VALUES (?, ?, ?)");
        updates[t] = db.prepare("UPDATE \"" + t + "\" SET tfeature = ? WHERE rowid = ?");
    }
    if (tables.empty()) {
        throw std::runtime_error("floor: the sample has no attribute records");
    }
    const std::string file = "/datos/mapas/hoja_0457.bin";
    for (std::int64_t i = 0; i < 280'000 * factor; ++i) {
        const std::string& t = tables[static_cast<std::size_t>(i) % tables.size()];
        sqlite3_bind_text(log, 1, t.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_int64(log, 2, i % 20'000 + 1);
        sqlite3_bind_int64(log, 3, i % 20'000 + 1);
        sqlite3_bind_text(log, 4, file.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(log, 5, "CALLE MAYOR 12", -1, SQLITE_STATIC);
        sqlite3_bind_text(log, 6, "2026-12-07 00:00:00", -1, SQLITE_STATIC);
        sqlite3_bind_text(log, 7, "1899-12-30 10:11:12", -1, SQLITE_STATIC);
        Db::step(log);
    }
    for (std::int64_t i = 0; i < 50'000 * factor; ++i) {
        sqlite3_stmt* s = inserts[tables[static_cast<std::size_t>(i) % tables.size()]];
        sqlite3_bind_int64(s, 1, 30'000 + i);
        sqlite3_bind_text(s, 2, "TEXTO NUEVO", -1, SQLITE_STATIC);
        sqlite3_bind_int64(s, 3, 123);
        Db::step(s);
    }
    for (std::int64_t i = 0; i < 100'000 * factor; ++i) {
        const std::string& t = tables[static_cast<std::size_t>(i) % tables.size()];
        const auto& ids = rows.at(t);
        sqlite3_stmt* s = updates[t];
        sqlite3_bind_int64(s, 1, 123);
        sqlite3_bind_int64(s, 2, ids[static_cast<std::size_t>(i / tables.size()) % ids.size()]);
        Db::step(s);
    }
    sqlite3_finalize(log);
    for (auto& [t, s] : inserts) {
        sqlite3_finalize(s);
    }
    for (auto& [t, s] : updates) {
        sqlite3_finalize(s);
    }
    db.exec("COMMIT");
}

// The seconds of `work`, which copies the drawing beside itself; the copy goes afterwards.
template <typename Work>
double timedFloor(const sample::Result& r, Work work) {
    QElapsedTimer clock;
    clock.start();
    work(r.drawing + QStringLiteral(".suelo"));
    const double seconds = clock.nsecsElapsed() / 1e9;
    QFile::remove(r.drawing + QStringLiteral(".suelo"));
    return seconds;
}

// One run of the floor of the default and "Sí" jobs, the copy of the database made with the clock
// stopped.
double floorRun(const sample::Result& r, std::int64_t factor) {
    const QString copy = bench::workingCopy(r.database);
    return timedFloor(r, [&](const QString& drawingCopy) {
        Db db(copy);
        const auto rows = readAttributeRows(db);
        copyDrawing(r.drawing, drawingCopy);
        floorWrites(db, rows, factor);
    });
}

// One run of the floor of the text rewrite, which writes nothing to the database: the rows it reads
// (mslink and both texts of every attribute record), read through SQLite's C interface, and the drawing
// copied.
double floorTextoRun(const sample::Result& r) {
    return timedFloor(r, [&](const QString& drawingCopy) {
        Db db(r.database);
        benchmark::DoNotOptimize(readAttributeRows(db));
        copyDrawing(r.drawing, drawingCopy);
    });
}

// The median of three runs of a floor, measured once per floor and size, for the floors' own lines.
template <typename Run>
double floorAlone(std::map<std::int64_t, double>& known, std::int64_t factor, Run run) {
    if (auto it = known.find(factor); it != known.end()) {
        return it->second;
    }
    return known[factor] = bench::median({run(), run(), run()});
}

// Each job against its own floor, one floor run just before each job run: both meet the same moments of
// the machine, where a floor measured once at the start could be a third faster or slower than the
// same work a minute later.
void job(benchmark::State& state, app::Mode mode, bench::Base base) {
    const sample::Result r = bench::sample(QStringLiteral("floor"), state.range(0), 7);
    const std::int64_t factor = state.range(0);
    bench::wholeJob(state, mode, r, base,
                    [&] { return mode == app::Mode::RewriteText ? floorTextoRun(r) : floorRun(r, factor); });
}

void BM_Floor(benchmark::State& state) {
    const sample::Result r = bench::sample(QStringLiteral("floor"), state.range(0), 7);
    static std::map<std::int64_t, double> known;
    for (auto _ : state) {
        state.SetIterationTime(
            floorAlone(known, state.range(0), [&] { return floorRun(r, state.range(0)); }));
    }
}

void BM_JobNo(benchmark::State& state) {
    job(state, app::Mode::No, bench::Base::Copy);
}
void BM_JobSi(benchmark::State& state) {
    job(state, app::Mode::Si, bench::Base::Copy);
}
void BM_JobTexto(benchmark::State& state) {
    job(state, app::Mode::RewriteText, bench::Base::Shared);
}

void BM_FloorTexto(benchmark::State& state) {
    const sample::Result r = bench::sample(QStringLiteral("floor"), state.range(0), 7);
    static std::map<std::int64_t, double> known;
    for (auto _ : state) {
        state.SetIterationTime(floorAlone(known, state.range(0), [&] { return floorTextoRun(r); }));
    }
}

BENCHMARK(BM_FloorTexto)->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Floor)->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_JobNo)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(3);
// A large sheet, for the memory it takes: its peak_rss_mb is the figure to keep under 250 MB.
BENCHMARK(BM_JobNo)->Arg(5)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_JobSi)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_JobTexto)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
