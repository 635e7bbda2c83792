// Jobs of two processes on one database: they never collide. Two vexilo-cli procesar started together
// end as if one had run after the other; a job that finds the database held past its limit ends with a
// clear message and leaves everything as it was. Both on a database file and on a server database.
#include <gtest/gtest.h>

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include "app/fileselection.h"
#include "cli/cliproceso.h"
#include "platform/dao.h"
#include "platform/databasename.h"
#include "support/dbdump.h"
#include "support/dbfixture.h"
#include "support/elementbuilder.h"
#include "support/pgcluster.h"
#include "tools/sample/sample.h"

namespace vexilo::testing {
namespace {

sample::Options opciones() {
    sample::Options o;
    o.elements = 3000;
    o.texts = 600;
    o.tables = 3;
    o.seed = 23;
    return o;
}

QStringList procesar(const QString& bdd, const QString& bin) {
    return {QStringLiteral("procesar"), QStringLiteral("-q"),
            QStringLiteral("--bdd"),    bdd,
            QStringLiteral("--bin"),    bin};
}

// Two copies of the sample's drawing under two names, so that the log tells the two jobs apart; the
// sample's database on the given engine.
struct DosHojas {
    DosHojas(const QString& carpeta, Engine motor) {
        sample::Options o = opciones();
        if (motor == Engine::Postgres) {
            PgCluster* servidor = PgCluster::instance();
            o.database = servidor ? servidor->freshDatabase() : QString();
        }
        const sample::Result r = sample::genera(carpeta, o);
        bdd = r.database;
        h1 = QDir(carpeta).filePath(QStringLiteral("h1.bin"));
        h2 = QDir(carpeta).filePath(QStringLiteral("h2.bin"));
        QFile::copy(r.drawing, h1);
        QFile::copy(r.drawing, h2);
    }
    QString bdd, h1, h2;
};

// The state after the two jobs, one after the other, in this order.
QStringList unoTrasOtro(const QString& primero, const QString& segundo, Engine motor) {
    QTemporaryDir dir;
    DosHojas hojas(dir.path(), motor);
    const QString a = QDir(dir.path()).filePath(primero);
    const QString b = QDir(dir.path()).filePath(segundo);
    EXPECT_EQ(ejecutaCli(procesar(hojas.bdd, a)).estado, 0);
    EXPECT_EQ(ejecutaCli(procesar(hojas.bdd, b)).estado, 0);
    return rowsOfEveryTable(hojas.bdd, dir.path());
}

QStringList mslinksRepetidos(const QString& bdd) {
    QStringList repetidos;
    auto db = platform::DBEngine::instance().Workspaces(0).OpenDatabase(bdd);
    for (int i = 0; i < db->TableDefsCount(); ++i) {
        const QString tabla = db->TableDefName(i);
        if (tabla.compare(QStringLiteral("CONTROLPROCESO"), Qt::CaseInsensitive) == 0) {
            continue;
        }
        const std::vector<QString> campos = db->FieldNames(tabla);
        if (std::find_if(campos.begin(), campos.end(), [](const QString& c) {
                return c.compare(QStringLiteral("mslink"), Qt::CaseInsensitive) == 0;
            }) == campos.end()) {
            continue;
        }
        QSet<qint64> vistos;
        for (const auto& fila : db->ReadRows(tabla, {QStringLiteral("mslink")})) {
            const qint64 n = fila.values[0].toLongLong();
            if (!fila.values[0].isNull() && vistos.contains(n)) {
                repetidos << tabla + QLatin1Char(':') + QString::number(n);
            }
            vistos.insert(n);
        }
    }
    db->Close();
    return repetidos;
}

// Reads a process's standard error until it holds `texto` (or the process ends); everything read.
QString leeErroresHasta(QProcess& p, const QString& texto) {
    QString leido;
    p.waitForStarted();
    while (!leido.contains(texto) && p.state() == QProcess::Running) {
        p.waitForReadyRead(1000);
        leido += QString::fromUtf8(p.readAllStandardError());
    }
    return leido;
}

class Concurrencia : public ::testing::TestWithParam<Engine> {};

TEST_P(Concurrencia, TwoJobsStartedTogetherEndAsOneAfterTheOther) {
    QTemporaryDir dir;
    DosHojas hojas(dir.path(), GetParam());
    // A holder keeps both jobs waiting, so that they meet for sure and go for the database together.
    QProcess retenedor;
    retenedor.start(QStringLiteral(VEXILO_TEST_HOLD), {hojas.bdd});
    ASSERT_TRUE(retenedor.waitForReadyRead(30000));
    ASSERT_EQ(retenedor.readLine().trimmed(), QByteArray("held"));
    QProcess p1, p2;
    p1.start(QStringLiteral(VEXILO_CLI), procesar(hojas.bdd, hojas.h1));
    p2.start(QStringLiteral(VEXILO_CLI), procesar(hojas.bdd, hojas.h2));
    QString e1 = leeErroresHasta(p1, QStringLiteral("Esperando"));
    QString e2 = leeErroresHasta(p2, QStringLiteral("Esperando"));
    EXPECT_TRUE(e1.contains(QStringLiteral("Esperando"))) << e1.toStdString();
    EXPECT_TRUE(e2.contains(QStringLiteral("Esperando"))) << e2.toStdString();
    retenedor.closeWriteChannel();
    ASSERT_TRUE(retenedor.waitForFinished(30000));
    ASSERT_TRUE(p1.waitForFinished(120000));
    ASSERT_TRUE(p2.waitForFinished(120000));
    e1 += QString::fromUtf8(p1.readAllStandardError());
    e2 += QString::fromUtf8(p2.readAllStandardError());
    EXPECT_EQ(p1.exitCode(), 0) << e1.toStdString();
    EXPECT_EQ(p2.exitCode(), 0) << e2.toStdString();
    EXPECT_FALSE((e1 + e2).contains(QStringLiteral("bloqueada"))) << (e1 + e2).toStdString();

    EXPECT_TRUE(mslinksRepetidos(hojas.bdd).isEmpty()) << mslinksRepetidos(hojas.bdd).join(' ').toStdString();
    const QStringList estado = rowsOfEveryTable(hojas.bdd, dir.path());
    EXPECT_TRUE(estado.join('\n').contains(QStringLiteral("<dir>/h1.bin")));
    EXPECT_TRUE(estado.join('\n').contains(QStringLiteral("<dir>/h2.bin")));
    const QStringList h1PrimeroH2Despues =
        unoTrasOtro(QStringLiteral("h1.bin"), QStringLiteral("h2.bin"), GetParam());
    const QStringList h2PrimeroH1Despues =
        unoTrasOtro(QStringLiteral("h2.bin"), QStringLiteral("h1.bin"), GetParam());
    EXPECT_TRUE(estado == h1PrimeroH2Despues || estado == h2PrimeroH1Despues);
    EXPECT_TRUE(QFile::exists(app::nombreDeSalida(hojas.h1)));
    EXPECT_TRUE(QFile::exists(app::nombreDeSalida(hojas.h2)));
}

TEST_P(Concurrencia, AJobThatWaitsPastItsLimitSaysSoAndTouchesNothing) {
    QTemporaryDir dir;
    DosHojas hojas(dir.path(), GetParam());
    const QStringList antes = rowsOfEveryTable(hojas.bdd, dir.path());
    const Bytes dibujo = readFile(hojas.h1);

    QProcess retenedor;
    retenedor.start(QStringLiteral(VEXILO_TEST_HOLD), {hojas.bdd});
    ASSERT_TRUE(retenedor.waitForReadyRead(30000));
    ASSERT_EQ(retenedor.readLine().trimmed(), QByteArray("held"));

    const SalidaCli s =
        ejecutaCli({QStringLiteral("procesar"), QStringLiteral("--bdd"), hojas.bdd, QStringLiteral("--bin"),
                    hojas.h1, QStringLiteral("--espera"), QStringLiteral("1")});
    retenedor.closeWriteChannel();
    ASSERT_TRUE(retenedor.waitForFinished(30000));
    EXPECT_EQ(retenedor.exitCode(), 0);

    EXPECT_EQ(s.estado, 1);
    EXPECT_TRUE(
        s.errores.contains(QStringLiteral("Esperando a que termine otro proceso sobre la base de datos '") +
                           platform::shownDatabaseName(hojas.bdd) + QStringLiteral("'...")))
        << s.errores.toStdString();
    EXPECT_TRUE(s.errores.contains(QStringLiteral("Error %1").arg(platform::errnum::kHeldByAnother)))
        << s.errores.toStdString();
    EXPECT_TRUE(s.errores.contains(QStringLiteral("sigue en uso por otro proceso")))
        << s.errores.toStdString();
    EXPECT_FALSE(s.errores.contains(QStringLiteral("database is locked"))) << s.errores.toStdString();
    EXPECT_EQ(rowsOfEveryTable(hojas.bdd, dir.path()), antes);
    EXPECT_EQ(readFile(hojas.h1), dibujo);
    EXPECT_FALSE(QFile::exists(app::nombreDeSalida(hojas.h1)));
    EXPECT_TRUE(QDir(dir.path()).entryList({QStringLiteral("*.parcial*")}, QDir::Files).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Motores, Concurrencia, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) {
                             return info.param == Engine::Sqlite ? "SQLite" : "PostgreSQL";
                         });

TEST(ConcurrenciaUso, EsperaMustBeAWholeNumberOfSeconds) {
    const SalidaCli s = ejecutaCli(
        {QStringLiteral("procesar"), QStringLiteral("--bdd"), QStringLiteral("x.sqlite"),
         QStringLiteral("--bin"), QStringLiteral("x.bin"), QStringLiteral("--espera"), QStringLiteral("-3")});
    EXPECT_EQ(s.estado, 2);
    EXPECT_TRUE(s.errores.contains(QStringLiteral("--espera"))) << s.errores.toStdString();
}

}  // namespace
}  // namespace vexilo::testing
