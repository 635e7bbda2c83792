// The Access importer on damaged files and on destinations it must refuse. Damaged files are copies of
// the sample cut short; the helper's limits are lowered so that a file that makes libmdb loop ends fast.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "import/accessimport.h"
#include "import/readerprocess.h"
#include "tests/cli/cliprocess.h"

namespace vexilo::importer {
namespace {

const QString kNwind = QStringLiteral(VEXILO_TESTDATA "/nwind.mdb");
const QString kDamaged = QStringLiteral("El fichero de Access está dañado: ");

QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

class DamagedAccess : public ::testing::Test {
  protected:
    DamagedAccess() : m_before(readLimits()) { setReadLimits({512, 3, 20}); }
    ~DamagedAccess() override {
        setReadLimits(m_before);
        setAccessReader({});
    }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString truncated(qint64 bytes) const {
        const QString r = path(QStringLiteral("cortado-%1.mdb").arg(bytes));
        write(r, read(kNwind).left(bytes));
        return r;
    }
    // The message of the failed import; the test fails when it succeeds or leaves anything behind.
    QString fail(const QString& source, const QString& destination, bool force = false) const {
        try {
            importAccess(source, destination, force);
        } catch (const ImportError& e) {
            EXPECT_FALSE(QFile::exists(destination + QStringLiteral(".importando")));
            return e.message();
        }
        ADD_FAILURE() << "imported " << source.toStdString();
        return {};
    }
    // A helper program of our own, standing in for the real one.
    void fakeReader(const char* dash) {
        const QString r = path(QStringLiteral("lector.sh"));
        write(r, QByteArray("#!/bin/sh\n") + dash + '\n');
        QFile::setPermissions(r, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        setAccessReader(r);
    }
    QTemporaryDir m_dir;
    ReadLimits m_before;
};

// 1507328 makes libmdb loop without end on a damaged page; 1196032 loses half of the catalog;
// 20480 keeps the catalog's definition but none of its rows; 4096 ends inside the catalog's page;
// 1540096 keeps every row but loses the pages of some memos.
TEST_F(DamagedAccess, AFileCutShortAnywhereEndsWithTheDamagedFileMessageAndNoDestination) {
    for (qint64 cut : {1507328, 1196032, 20480, 4096, 1540096}) {
        SCOPED_TRACE(cut);
        const QString destination = path(QStringLiteral("destino-%1.sqlite").arg(cut));
        const QString message = fail(truncated(cut), destination);
        EXPECT_TRUE(message.startsWith(kDamaged)) << message.toStdString();
        EXPECT_FALSE(QFile::exists(destination));
    }
}

// libmdb overflows its catalog buffers and then allocates without end when the catalog is read with
// the large bind size the memos need: the whole sample must fit in a small limit.
TEST_F(DamagedAccess, TheWholeSampleIsReadWithinASmallMemoryLimit) {
    setReadLimits({128, 30, 60});
    const Result r = importAccess(kNwind, path(QStringLiteral("entera.sqlite")), false);
    EXPECT_EQ(r.tables.size(), 8u);
    EXPECT_TRUE(r.warnings.isEmpty()) << r.warnings.join(QChar('\n')).toStdString();
}

TEST_F(DamagedAccess, TheCatalogAndTheRowCountsTellWhatWasLost) {
    EXPECT_EQ(fail(truncated(1196032), path(QStringLiteral("a.sqlite"))),
              kDamaged + QStringLiteral("su catálogo declara 103 objetos pero solo se pueden leer 88."));
    EXPECT_EQ(fail(truncated(20480), path(QStringLiteral("b.sqlite"))),
              kDamaged + QStringLiteral("su catálogo declara 103 objetos pero solo se pueden leer 0."));
}

TEST_F(DamagedAccess, AnEarlierDestinationSurvivesAFailedForcedImport) {
    const QString destination = path(QStringLiteral("anterior.sqlite"));
    write(destination, "anterior");
    EXPECT_TRUE(fail(truncated(1196032), destination, true).startsWith(kDamaged));
    EXPECT_EQ(read(destination), QByteArray("anterior"));
}

TEST_F(DamagedAccess, TheCommandLineExitsWithOneAndCreatesNothing) {
    for (qint64 cut : {1196032, 20480}) {
        const QString destination = path(QStringLiteral("cli-%1.sqlite").arg(cut));
        const auto s = testing::runCli({QStringLiteral("importar"), truncated(cut), destination});
        EXPECT_EQ(s.state, 1) << cut;
        EXPECT_TRUE(s.errors.contains(kDamaged)) << s.errors.toStdString();
        EXPECT_FALSE(s.output.contains(QStringLiteral("Importadas"))) << s.output.toStdString();
        EXPECT_FALSE(QFile::exists(destination));
    }
}

// The helper is untrusted: whatever it does, the import ends, with a message, within the limits.
TEST_F(DamagedAccess, AHelperThatHangsLoopsCrashesOrTalksNonsenseIsStoppedAndReported) {
    struct Case {
        const char* dash;
        ReadLimits limits;
        const char* message;
    };
    const Case cases[] = {
        {"exec sleep 30", {512, 30, 1}, "su lectura no terminó en 1 segundos"},
        {"while :; do :; done", {512, 1, 60}, "su lectura no terminó en 1 segundos de cálculo"},
        {"kill -SEGV $$", {512, 5, 30}, "su lectura terminó de forma anormal (señal 11"},
        {"printf 'Q\\000\\000\\000\\000'", {512, 5, 30}, "su lectura dio una trama desconocida"},
        {"printf 'C\\377\\377\\377\\377'", {512, 5, 30}, "su lectura dio una trama demasiado grande"},
        {"printf 'C\\004\\000\\000\\000\\000\\000\\000\\000'",
         {512, 5, 30},
         "su lectura terminó antes de leer todas las tablas"},
        {"exit 4", {512, 5, 30}, "su lectura terminó con el código 4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dash);
        setReadLimits(c.limits);
        fakeReader(c.dash);
        const QString destination = path(QStringLiteral("falso.sqlite"));
        const QString message = fail(kNwind, destination);
        EXPECT_TRUE(message.startsWith(kDamaged + QString::fromUtf8(c.message))) << message.toStdString();
        EXPECT_FALSE(QFile::exists(destination));
    }
}

TEST_F(DamagedAccess, AMissingHelperIsNamed) {
    setAccessReader(path(QStringLiteral("no-existe")));
    const QString message = fail(kNwind, path(QStringLiteral("x.sqlite")));
    EXPECT_TRUE(
        message.startsWith(QStringLiteral("No se encuentra el programa que lee las bases de datos Access")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("no-existe")));
}

TEST_F(DamagedAccess, ADestinationThatIsTheSourceIsRefusedByAnyNameEvenWhenForced) {
    const QString access = path(QStringLiteral("datos.mdb"));
    ASSERT_TRUE(QFile::copy(kNwind, access));
    const QByteArray original = read(access);
    const QString link = path(QStringLiteral("enlace.sqlite"));
    ASSERT_TRUE(QFile::link(access, link));
    const QString hard = path(QStringLiteral("duro.sqlite"));
    ASSERT_EQ(::link(QFile::encodeName(access).constData(), QFile::encodeName(hard).constData()), 0);
    const QString same = m_dir.path() + QStringLiteral("/./datos.mdb");
    for (const QString& destination : {access, same, link, hard}) {
        for (bool force : {false, true}) {
            const QString message = fail(access, destination, force);
            EXPECT_TRUE(message.contains(QStringLiteral("es el mismo fichero que la base de datos Access")))
                << message.toStdString();
        }
    }
    // And from the other side: the source named through the link.
    EXPECT_TRUE(fail(link, access, true).contains(QStringLiteral("es el mismo fichero")));
    EXPECT_EQ(read(access), original);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
}

TEST_F(DamagedAccess, AMissingFolderIsNamedInOneSentenceWithTheDestination) {
    const QString destination = path(QStringLiteral("no-hay/datos.sqlite"));
    const QString message = fail(kNwind, destination);
    EXPECT_EQ(message, QStringLiteral("No se puede crear el fichero de destino %1: no existe la carpeta %2.")
                           .arg(destination, path(QStringLiteral("no-hay"))));
    EXPECT_FALSE(message.contains(QStringLiteral(".importando")));
}

TEST_F(DamagedAccess, AFolderThatRefusesTheFileNamesTheDestinationNotTheTemporaryFile) {
    const QString closed = path(QStringLiteral("cerrada"));
    ASSERT_TRUE(QDir().mkdir(closed));
    QFile::setPermissions(closed, QFile::ReadOwner | QFile::ExeOwner);
    if (::access(QFile::encodeName(closed).constData(), W_OK) == 0) {
        GTEST_SKIP() << "running as root: permissions do not refuse";
    }
    const QString inside = closed + QStringLiteral("/datos.sqlite");
    const QString other = fail(kNwind, inside);
    EXPECT_TRUE(
        other.startsWith(QStringLiteral("No se puede escribir la base de datos nueva %1: ").arg(inside)))
        << other.toStdString();
}

}  // namespace
}  // namespace vexilo::importer
