// vexilo-cli procesar on a server that cannot serve the job: no server at the address, a refused
// password, a database that the server does not have. Each ends with its own message and status 1,
// names neither the password nor writes anything, and leaves the drawing as it was.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QUrl>

#include "app/fileselection.h"
#include "cli/cliprocess.h"
#include "engines/dao.h"
#include "support/dbdump.h"
#include "support/elementbuilder.h"
#include "support/pgcluster.h"
#include "tools/sample/sample.h"

namespace vexilo::testing {
namespace {

const QString kKey = QStringLiteral("no-la-muestres-7");

QString address(const QString& user, const QString& base) {
    PgCluster* server = PgCluster::instance();
    return QStringLiteral("postgresql://%1:%2@/%3?host=%4")
        .arg(user, kKey, base,
             QString::fromUtf8(QUrl::toPercentEncoding(server ? server->socketFolder() : QString())));
}

TEST(ProcessOnServer, EachFailureToConnectHasItsMessageAndStatusOneAndWritesNothing) {
    struct Case {
        const char* what;
        QString dbPath;
        int number;
    };
    const std::vector<Case> cases = {
        {"no server", "postgresql://ana:" + kKey + "@/bd?host=%2Fno%2Fhay%2Fservidor",
         engines::errnum::kServerUnreachable},
        {"wrong password", address(PgCluster::passwordUser(), "postgres"), engines::errnum::kLoginRefused},
        {"missing database", address(QStringLiteral("postgres"), QStringLiteral("no_existe_esta")),
         core::errnum::kDatabaseNotFound},
    };
    QTemporaryDir dir;
    const QString bin = QDir(dir.path()).filePath(QStringLiteral("mapa.bin"));
    const Bytes drawing = concat({ElementBuilder::t().texto("Rio").link(7, 1)});
    writeFile(bin, drawing);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CliOutput s =
            runCli({QStringLiteral("procesar"), QStringLiteral("--bdd"), c.dbPath, QStringLiteral("--bin"),
                    bin, QStringLiteral("--espera"), QStringLiteral("0")});
        EXPECT_EQ(s.state, 1) << s.errors.toStdString();
        EXPECT_TRUE(s.errors.contains(QStringLiteral("Error %1").arg(c.number))) << s.errors.toStdString();
        EXPECT_FALSE((s.output + s.errors).contains(kKey)) << s.errors.toStdString();
        EXPECT_EQ(readFile(bin), drawing);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("mapa.bin")});
    }
}

// A simulation on a shared server leaves every table as it was, also the log table and the attribute
// table that the checks create and the hidden order column they add; the same job for real changes
// them. The report of the simulation is that of the real job.
TEST(ProcessOnServer, ASimulationLeavesEveryTableAsItWas) {
    PgCluster* server = PgCluster::instance();
    ASSERT_NE(server, nullptr);
    QTemporaryDir dir;
    sample::Options o;
    o.elements = 1000;
    o.texts = 200;
    o.tables = 3;
    o.database = server->freshDatabase();
    const sample::Result r = sample::generate(dir.path(), o);
    const QStringList rows = rowsOfEveryTable(r.database, dir.path());
    const QStringList args = {QStringLiteral("procesar"), QStringLiteral("-q"),
                              QStringLiteral("--bdd"),    r.database,
                              QStringLiteral("--bin"),    r.drawing,
                              QStringLiteral("--informe")};
    const CliOutput simulated = runCli(
        args + QStringList{QDir(dir.path()).filePath(QStringLiteral("s.json")), QStringLiteral("--simular")});
    ASSERT_EQ(simulated.state, 0) << simulated.errors.toStdString();
    EXPECT_EQ(rowsOfEveryTable(r.database, dir.path()), rows);
    EXPECT_FALSE(QFile::exists(app::outputNameOf(r.drawing)));

    const CliOutput real = runCli(args + QStringList{QDir(dir.path()).filePath(QStringLiteral("r.json"))});
    ASSERT_EQ(real.state, 0) << real.errors.toStdString();
    EXPECT_NE(rowsOfEveryTable(r.database, dir.path()), rows);
    const auto entries = [&](const char* name) -> QJsonValue {
        QFile file(QDir(dir.path()).filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return QJsonDocument::fromJson(file.readAll()).object()[QStringLiteral("elementos")];
    };
    EXPECT_EQ(entries("s.json"), entries("r.json"));
    EXPECT_EQ(entries("r.json").toArray().size(), r.texts);
}

}  // namespace
}  // namespace vexilo::testing
