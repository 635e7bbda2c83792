// vexilo-cli procesar on a server that cannot serve the job: no server at the address, a refused
// password, a database that the server does not have. Each ends with its own message and status 1,
// names neither the password nor writes anything, and leaves the drawing as it was.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <QUrl>

#include "app/fileselection.h"
#include "cli/cliproceso.h"
#include "platform/dao.h"
#include "support/elementbuilder.h"
#include "support/pgcluster.h"

namespace vexilo::testing {
namespace {

const QString kClave = QStringLiteral("no-la-muestres-7");

QString direccion(const QString& usuario, const QString& base) {
    PgCluster* servidor = PgCluster::instance();
    return QStringLiteral("postgresql://%1:%2@/%3?host=%4")
        .arg(usuario, kClave, base,
             QString::fromUtf8(QUrl::toPercentEncoding(servidor ? servidor->socketFolder() : QString())));
}

TEST(ProcesarEnServidor, EachFailureToConnectHasItsMessageAndStatusOneAndWritesNothing) {
    struct Caso {
        const char* que;
        QString bdd;
        int numero;
    };
    const std::vector<Caso> casos = {
        {"no server", "postgresql://ana:" + kClave + "@/bd?host=%2Fno%2Fhay%2Fservidor",
         platform::errnum::kServerUnreachable},
        {"wrong password", direccion(PgCluster::passwordUser(), "postgres"), platform::errnum::kLoginRefused},
        {"missing database", direccion(QStringLiteral("postgres"), QStringLiteral("no_existe_esta")),
         platform::errnum::kDatabaseNotFound},
    };
    QTemporaryDir dir;
    const QString bin = QDir(dir.path()).filePath(QStringLiteral("mapa.bin"));
    const Bytes dibujo = concat({ElementBuilder::t().texto("Rio").enlace(7, 1)});
    writeFile(bin, dibujo);
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.que);
        const SalidaCli s =
            ejecutaCli({QStringLiteral("procesar"), QStringLiteral("--bdd"), c.bdd, QStringLiteral("--bin"),
                        bin, QStringLiteral("--espera"), QStringLiteral("0")});
        EXPECT_EQ(s.estado, 1) << s.errores.toStdString();
        EXPECT_TRUE(s.errores.contains(QStringLiteral("Error %1").arg(c.numero))) << s.errores.toStdString();
        EXPECT_FALSE((s.salida + s.errores).contains(kClave)) << s.errores.toStdString();
        EXPECT_EQ(readFile(bin), dibujo);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("mapa.bin")});
    }
}

}  // namespace
}  // namespace vexilo::testing
