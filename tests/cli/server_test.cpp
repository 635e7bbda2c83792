// vexilo-cli procesar on a server that cannot serve the job: no server at the address, a refused
// password, a database that the server does not have. Each ends with its own message and status 1,
// names neither the password nor writes anything, and leaves the drawing as it was.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <QUrl>

#include "app/fileselection.h"
#include "cli/cliprocess.h"
#include "platform/dao.h"
#include "support/elementbuilder.h"
#include "support/pgcluster.h"

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
         platform::errnum::kServerUnreachable},
        {"wrong password", address(PgCluster::passwordUser(), "postgres"), platform::errnum::kLoginRefused},
        {"missing database", address(QStringLiteral("postgres"), QStringLiteral("no_existe_esta")),
         platform::errnum::kDatabaseNotFound},
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

}  // namespace
}  // namespace vexilo::testing
