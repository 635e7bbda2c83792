// The Access importer on damaged files and on destinations it must refuse. Damaged files are copies of
// the sample cut short; the helper's limits are lowered so that a file that makes libmdb loop ends fast.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "import/accessimport.h"
#include "import/lectoraccess.h"
#include "tests/cli/cliproceso.h"

namespace vexilo::importacion {
namespace {

const QString kNwind = QStringLiteral(VEXILO_TESTDATA "/nwind.mdb");
const QString kDanado = QStringLiteral("El fichero de Access está dañado: ");

QByteArray lee(const QString& ruta) {
    QFile f(ruta);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void escribe(const QString& ruta, const QByteArray& datos) {
    QFile f(ruta);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(datos);
}

class Danado : public ::testing::Test {
  protected:
    Danado() : m_antes(limitesLectura()) { fijaLimitesLectura({512, 3, 20}); }
    ~Danado() override {
        fijaLimitesLectura(m_antes);
        fijaLectorAccess({});
    }
    QString ruta(const QString& nombre) const { return m_dir.filePath(nombre); }
    QString cortado(qint64 bytes) const {
        const QString r = ruta(QStringLiteral("cortado-%1.mdb").arg(bytes));
        escribe(r, lee(kNwind).left(bytes));
        return r;
    }
    // The message of the failed import; the test fails when it succeeds or leaves anything behind.
    QString falla(const QString& origen, const QString& destino, bool forzar = false) const {
        try {
            importaAccess(origen, destino, forzar);
        } catch (const ErrorImportacion& e) {
            EXPECT_FALSE(QFile::exists(destino + QStringLiteral(".importando")));
            return e.mensaje();
        }
        ADD_FAILURE() << "imported " << origen.toStdString();
        return {};
    }
    // A helper program of our own, standing in for the real one.
    void lectorFalso(const char* guion) {
        const QString r = ruta(QStringLiteral("lector.sh"));
        escribe(r, QByteArray("#!/bin/sh\n") + guion + '\n');
        QFile::setPermissions(r, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        fijaLectorAccess(r);
    }
    QTemporaryDir m_dir;
    LimitesLectura m_antes;
};

// 1507328 makes libmdb loop without end on a damaged page; 1196032 loses half of the catalog;
// 20480 keeps the catalog's definition but none of its rows; 4096 ends inside the catalog's page;
// 1540096 keeps every row but loses the pages of some memos.
TEST_F(Danado, AFileCutShortAnywhereEndsWithTheDamagedFileMessageAndNoDestination) {
    for (qint64 corte : {1507328, 1196032, 20480, 4096, 1540096}) {
        SCOPED_TRACE(corte);
        const QString destino = ruta(QStringLiteral("destino-%1.sqlite").arg(corte));
        const QString mensaje = falla(cortado(corte), destino);
        EXPECT_TRUE(mensaje.startsWith(kDanado)) << mensaje.toStdString();
        EXPECT_FALSE(QFile::exists(destino));
    }
}

// libmdb overflows its catalog buffers and then allocates without end when the catalog is read with
// the large bind size the memos need: the whole sample must fit in a small limit.
TEST_F(Danado, TheWholeSampleIsReadWithinASmallMemoryLimit) {
    fijaLimitesLectura({128, 30, 60});
    const Resultado r = importaAccess(kNwind, ruta(QStringLiteral("entera.sqlite")), false);
    EXPECT_EQ(r.tablas.size(), 8u);
    EXPECT_TRUE(r.avisos.isEmpty()) << r.avisos.join(QChar('\n')).toStdString();
}

TEST_F(Danado, TheCatalogAndTheRowCountsTellWhatWasLost) {
    EXPECT_EQ(falla(cortado(1196032), ruta(QStringLiteral("a.sqlite"))),
              kDanado + QStringLiteral("su catálogo declara 103 objetos pero solo se pueden leer 88."));
    EXPECT_EQ(falla(cortado(20480), ruta(QStringLiteral("b.sqlite"))),
              kDanado + QStringLiteral("su catálogo declara 103 objetos pero solo se pueden leer 0."));
}

TEST_F(Danado, AnEarlierDestinationSurvivesAFailedForcedImport) {
    const QString destino = ruta(QStringLiteral("anterior.sqlite"));
    escribe(destino, "anterior");
    EXPECT_TRUE(falla(cortado(1196032), destino, true).startsWith(kDanado));
    EXPECT_EQ(lee(destino), QByteArray("anterior"));
}

TEST_F(Danado, TheCommandLineExitsWithOneAndCreatesNothing) {
    for (qint64 corte : {1196032, 20480}) {
        const QString destino = ruta(QStringLiteral("cli-%1.sqlite").arg(corte));
        const auto s = testing::ejecutaCli({QStringLiteral("importar"), cortado(corte), destino});
        EXPECT_EQ(s.estado, 1) << corte;
        EXPECT_TRUE(s.errores.contains(kDanado)) << s.errores.toStdString();
        EXPECT_FALSE(s.salida.contains(QStringLiteral("Importadas"))) << s.salida.toStdString();
        EXPECT_FALSE(QFile::exists(destino));
    }
}

// The helper is untrusted: whatever it does, the import ends, with a message, within the limits.
TEST_F(Danado, AHelperThatHangsLoopsCrashesOrTalksNonsenseIsStoppedAndReported) {
    struct Caso {
        const char* guion;
        LimitesLectura limites;
        const char* mensaje;
    };
    const Caso casos[] = {
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
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.guion);
        fijaLimitesLectura(c.limites);
        lectorFalso(c.guion);
        const QString destino = ruta(QStringLiteral("falso.sqlite"));
        const QString mensaje = falla(kNwind, destino);
        EXPECT_TRUE(mensaje.startsWith(kDanado + QString::fromUtf8(c.mensaje))) << mensaje.toStdString();
        EXPECT_FALSE(QFile::exists(destino));
    }
}

TEST_F(Danado, AMissingHelperIsNamed) {
    fijaLectorAccess(ruta(QStringLiteral("no-existe")));
    const QString mensaje = falla(kNwind, ruta(QStringLiteral("x.sqlite")));
    EXPECT_TRUE(
        mensaje.startsWith(QStringLiteral("No se encuentra el programa que lee las bases de datos Access")))
        << mensaje.toStdString();
    EXPECT_TRUE(mensaje.contains(QStringLiteral("no-existe")));
}

TEST_F(Danado, ADestinationThatIsTheSourceIsRefusedByAnyNameEvenWhenForced) {
    const QString access = ruta(QStringLiteral("datos.mdb"));
    ASSERT_TRUE(QFile::copy(kNwind, access));
    const QByteArray original = lee(access);
    const QString enlace = ruta(QStringLiteral("enlace.sqlite"));
    ASSERT_TRUE(QFile::link(access, enlace));
    const QString duro = ruta(QStringLiteral("duro.sqlite"));
    ASSERT_EQ(::link(QFile::encodeName(access).constData(), QFile::encodeName(duro).constData()), 0);
    const QString mismo = m_dir.path() + QStringLiteral("/./datos.mdb");
    for (const QString& destino : {access, mismo, enlace, duro}) {
        for (bool forzar : {false, true}) {
            const QString mensaje = falla(access, destino, forzar);
            EXPECT_TRUE(mensaje.contains(QStringLiteral("es el mismo fichero que la base de datos Access")))
                << mensaje.toStdString();
        }
    }
    // And from the other side: the source named through the link.
    EXPECT_TRUE(falla(enlace, access, true).contains(QStringLiteral("es el mismo fichero")));
    EXPECT_EQ(lee(access), original);
    EXPECT_TRUE(QFileInfo(enlace).isSymLink());
}

TEST_F(Danado, AMissingFolderIsNamedInOneSentenceWithTheDestination) {
    const QString destino = ruta(QStringLiteral("no-hay/datos.sqlite"));
    const QString mensaje = falla(kNwind, destino);
    EXPECT_EQ(mensaje, QStringLiteral("No se puede crear el fichero de destino %1: no existe la carpeta %2.")
                           .arg(destino, ruta(QStringLiteral("no-hay"))));
    EXPECT_FALSE(mensaje.contains(QStringLiteral(".importando")));
}

TEST_F(Danado, AFolderThatRefusesTheFileNamesTheDestinationNotTheTemporaryFile) {
    const QString cerrada = ruta(QStringLiteral("cerrada"));
    ASSERT_TRUE(QDir().mkdir(cerrada));
    QFile::setPermissions(cerrada, QFile::ReadOwner | QFile::ExeOwner);
    if (::access(QFile::encodeName(cerrada).constData(), W_OK) == 0) {
        GTEST_SKIP() << "running as root: permissions do not refuse";
    }
    const QString dentro = cerrada + QStringLiteral("/datos.sqlite");
    const QString otro = falla(kNwind, dentro);
    EXPECT_TRUE(
        otro.startsWith(QStringLiteral("No se puede escribir la base de datos nueva %1: ").arg(dentro)))
        << otro.toStdString();
}

}  // namespace
}  // namespace vexilo::importacion
