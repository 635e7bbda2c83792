// The job on a PostgreSQL server beside the same job on SQLite, on the same generated map (1,000,000
// elements, benchjob.h), in the three modes. Each server job reports ratio_to_sqlite, its time over the
// SQLite job's of the same mode, measured in the same run. Target: at most 3.
//
// The server is the one that VEXILO_BENCH_PG names: a postgresql:// URI of any database of it (its
// user must be allowed to create databases). scripts/bench-pg.sh starts a throwaway cluster for it.
// The sample is written once to the database "vexilo_bench_muestra" and kept there for later runs; a
// job that writes runs on "vexilo_bench_trabajo", made from it as a template with the clock stopped.

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>
#include <cstdlib>
#include <map>

#include "bench/benchjob.h"
#include "engines/dao.h"

namespace {

using namespace vexilo;

const QString kSampleDb = QStringLiteral("vexilo_bench_muestra");
const QString kWorkDb = QStringLiteral("vexilo_bench_trabajo");

QString serverUri() {
    return QString::fromLocal8Bit(qgetenv("VEXILO_BENCH_PG"));
}

// The same server's database `dbname`.
QString serverDatabase(const QString& dbname) {
    QUrl url(serverUri());
    url.setPath(QLatin1Char('/') + dbname);
    return url.toString(QUrl::FullyEncoded);
}

// Runs maintenance statements on the server's database "postgres"; false (with the server's words on
// the standard error) when one fails.
bool maintenance(const QStringList& statements) {
    const QUrl url(serverUri());
    const QUrlQuery query(url);
    bool ok = true;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("bench-maintenance"));
        db.setHostName(query.hasQueryItem(QStringLiteral("host"))
                           ? query.queryItemValue(QStringLiteral("host"))
                           : url.host());
        if (url.port() > 0) {
            db.setPort(url.port());
        }
        db.setUserName(url.userName());
        db.setPassword(url.password());
        db.setDatabaseName(QStringLiteral("postgres"));
        ok = db.open();
        for (const QString& sql : statements) {
            if (!ok) {
                break;
            }
            QSqlQuery q(db);
            ok = q.exec(sql);
            if (!ok) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(sql), qPrintable(q.lastError().text()));
            }
        }
        if (!db.isOpen()) {
            std::fprintf(stderr, "bench-server: %s\n", qPrintable(db.lastError().text()));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-maintenance"));
    return ok;
}

bool sampleOnServerIsThere() {
    try {
        auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(serverDatabase(kSampleDb));
        const bool filled = db->TableDefsCount() > 0;
        db->Close();
        return filled;
    } catch (const core::EngineError&) {
        return false;
    }
}

// The sample's drawing beside its SQLite database, and its database on the server as well.
struct Samples {
    sample::Result sqlite;
    QString server;
};

const Samples& samples() {
    static const Samples s = [] {
        Samples r;
        r.sqlite = bench::sample(QStringLiteral("server"), 1, 7);
        r.server = serverDatabase(kSampleDb);
        if (!sampleOnServerIsThere()) {
            maintenance({QStringLiteral("DROP DATABASE IF EXISTS ") + kSampleDb});
            sample::Options o;
            o.elements = 1'000'000;
            o.texts = 200'000;
            o.tables = 10;
            o.recordsPerTable = 20'000;
            o.seed = 7;
            o.database = r.server;
            // The same seed gives the same drawing: the one beside the SQLite sample serves both.
            sample::generate(QDir::temp().filePath(QStringLiteral("vexilo-bench-server-pg")), o);
        }
        return r;
    }();
    return s;
}

QString freshWorkDatabase() {
    const bool made = maintenance({QStringLiteral("DROP DATABASE IF EXISTS ") + kWorkDb,
                                   QStringLiteral("CREATE DATABASE %1 TEMPLATE %2").arg(kWorkDb, kSampleDb)});
    return made ? serverDatabase(kWorkDb) : QString();
}

// The SQLite job of each mode, measured first in the same run, for the ratio.
std::map<app::Mode, double>& sqliteSeconds() {
    static std::map<app::Mode, double> seconds;
    return seconds;
}

void onSqlite(benchmark::State& state, app::Mode mode) {
    const bench::Base base = mode == app::Mode::RewriteText ? bench::Base::Shared : bench::Base::Copy;
    bench::wholeJob(state, mode, samples().sqlite, base);
    sqliteSeconds()[mode] = state.counters["job_s"];
}

void runOnServer(benchmark::State& state, app::Mode mode) {
    if (serverUri().isEmpty()) {
        state.SkipWithError("VEXILO_BENCH_PG no nombra ningún servidor (scripts/bench-pg.sh arranca uno)");
        return;
    }
    const Samples& s = samples();
    if (mode == app::Mode::RewriteText) {
        bench::wholeJob(state, mode, s.sqlite, [&] { return s.server; });
    } else {
        bench::wholeJob(state, mode, s.sqlite, freshWorkDatabase);
    }
    const auto sqlite = sqliteSeconds().find(mode);
    if (sqlite != sqliteSeconds().end() && sqlite->second > 0) {
        state.counters["sqlite_s"] = sqlite->second;
        state.counters["ratio_to_sqlite"] = state.counters["job_s"] / sqlite->second;
    }
}

void BM_SqliteNo(benchmark::State& state) {
    onSqlite(state, app::Mode::No);
}
void BM_ServerNo(benchmark::State& state) {
    runOnServer(state, app::Mode::No);
}
void BM_SqliteSi(benchmark::State& state) {
    onSqlite(state, app::Mode::Si);
}
void BM_ServerSi(benchmark::State& state) {
    runOnServer(state, app::Mode::Si);
}
void BM_SqliteTexto(benchmark::State& state) {
    onSqlite(state, app::Mode::RewriteText);
}
void BM_ServerTexto(benchmark::State& state) {
    runOnServer(state, app::Mode::RewriteText);
}

// In this order: each server job right after the SQLite job it is compared with.
BENCHMARK(BM_SqliteNo)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ServerNo)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_SqliteSi)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ServerSi)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_SqliteTexto)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ServerTexto)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);  // QtSql's drivers need an application object
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
