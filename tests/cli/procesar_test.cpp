// vexilo-cli procesar, run as a program on a generated sample, against the window's run driver run in
// this process on an identical copy: same output bytes, same database rows, same log rows apart from
// the date and time of logging; then its exit statuses.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <ostream>

#include "app/fileselection.h"
#include "app/rundriver.h"
#include "cli/cliproceso.h"
#include "support/dbdump.h"
#include "support/elementbuilder.h"
#include "support/recordingdisplay.h"
#include "support/testservices.h"
#include "tools/sample/sample.h"

namespace vexilo::testing {
namespace {

sample::Options opciones() {
    sample::Options o;
    o.elements = 1500;
    o.texts = 300;
    o.tables = 3;
    o.seed = 11;
    return o;
}

struct Caso {
    const char* modo;
    app::Modo enVentana;
};

void PrintTo(const Caso& c, std::ostream* os) {
    *os << "--modo " << c.modo;
}

class ProcesarComoVentana : public ::testing::TestWithParam<Caso> {};

TEST_P(ProcesarComoVentana, GivesTheSameOutputDatabaseAndLogAsTheWindowsRunDriver) {
    QTemporaryDir dirCli, dirVentana;
    const sample::Result cli = sample::genera(dirCli.path(), opciones());
    const sample::Result ventana = sample::genera(dirVentana.path(), opciones());
    // A stale output of the same name is replaced, as when the drawing is chosen in the window.
    writeFile(app::nombreDeSalida(cli.drawing), Bytes(5000, 0x55));

    const SalidaCli s = ejecutaCli({QStringLiteral("procesar"), QStringLiteral("--bdd"), cli.database,
                                    QStringLiteral("--bin"), cli.drawing, QStringLiteral("--modo"),
                                    QString::fromLatin1(GetParam().modo)});
    ASSERT_EQ(s.estado, 0) << s.errores.toStdString();

    TestServices servicios;
    platform::ScopedServices alcance(servicios);
    RecordingDisplay pantalla;
    core::RunState f;
    f.display = &pantalla;
    f.NombreBdD = ventana.database;
    f.NombreBin = ventana.drawing;
    f.NombreBinSalida = app::nombreDeSalida(ventana.drawing);
    const core::RunOutcome r = app::Command1_Click(f, GetParam().enVentana);
    ASSERT_EQ(r.kind, core::RunOutcome::Kind::Finished)
        << r.description.toStdString() << r.message.toStdString();

    EXPECT_EQ(readFile(app::nombreDeSalida(cli.drawing)), readFile(f.NombreBinSalida));
    EXPECT_EQ(testing::rowsOfEveryTable(cli.database, dirCli.path()),
              testing::rowsOfEveryTable(ventana.database, dirVentana.path()));

    EXPECT_TRUE(s.salida.contains(QStringLiteral("Creado el fichero : ") + app::nombreDeSalida(cli.drawing)))
        << s.salida.toStdString();
    EXPECT_TRUE(s.salida.contains(QStringLiteral("Textos Procesados : %1\n").arg(f.TextosProcesados)));
    EXPECT_TRUE(
        s.errores.contains(QStringLiteral("0...10...20...30...40...50...60...70...80...90...100 - done.")))
        << s.errores.toStdString();
    // The sample always has elements the job passes over: their counts are part of the summary on the
    // standard output, once, and are not repeated among the messages.
    ASSERT_FALSE(f.report.empty());
    EXPECT_EQ(s.salida.count(QStringLiteral("Elementos no tratados:")), 1) << s.salida.toStdString();
    EXPECT_FALSE(s.errores.contains(QStringLiteral("Elementos no tratados:"))) << s.errores.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Modos, ProcesarComoVentana,
                         ::testing::Values(Caso{"no", app::Modo::No}, Caso{"si", app::Modo::Si},
                                           Caso{"texto", app::Modo::ModificarTexto}),
                         [](const auto& info) { return std::string(info.param.modo); });

class ProcesarEstados : public ::testing::Test {
  protected:
    void SetUp() override { m_muestra = sample::genera(m_dir.path(), opciones()); }
    QString ruta(const char* nombre) const { return m_dir.filePath(QString::fromLatin1(nombre)); }
    QTemporaryDir m_dir;
    sample::Result m_muestra;
};

TEST_F(ProcesarEstados, SeveralDrawingsRunInOrderAndAStopEndsTheRunWithStatusOne) {
    ASSERT_TRUE(QFile::copy(m_muestra.drawing, ruta("hoja2.bin")));
    writeFile(ruta("mala.bin"),
              concat({ElementBuilder::c().bytes(), ElementBuilder::tipo('X', '=').bytes()}));
    const SalidaCli s = ejecutaCli({QStringLiteral("procesar"), QStringLiteral("-q"), QStringLiteral("--bdd"),
                                    m_muestra.database, QStringLiteral("--bin"), m_muestra.drawing,
                                    QStringLiteral("--bin"), ruta("hoja2.bin"), QStringLiteral("--bin"),
                                    ruta("mala.bin"), QStringLiteral("--bin"), ruta("nunca.bin")});
    EXPECT_EQ(s.estado, 1);
    EXPECT_TRUE(QFile::exists(app::nombreDeSalida(m_muestra.drawing)));
    EXPECT_TRUE(QFile::exists(ruta("hoja2_s.bin")));
    EXPECT_EQ(s.salida.count(QStringLiteral("Creado el fichero : ")), 2);
    EXPECT_TRUE(s.errores.contains(QStringLiteral("Fichero Corrupto"))) << s.errores.toStdString();
    EXPECT_FALSE(s.errores.contains(QStringLiteral("...10")));  // -q: no progress
    // The elements before the damage are in its output; the drawing after it was never started.
    EXPECT_EQ(readFile(ruta("mala_s.bin")).size(), ElementBuilder::c().size());
    EXPECT_FALSE(QFile::exists(ruta("nunca_s.bin")));
}

// The console says where a drawing is damaged and why, on the line after the window's exact message;
// a dropped element whose counts run past the end is such damage, not a quiet end of the walk.
TEST_F(ProcesarEstados, DamageIsReportedWithItsOffsetAndReasonAndEndsWithOne) {
    const ElementBuilder primero = ElementBuilder::c().registros(1);
    writeFile(ruta("mala.bin"),
              concat({primero, ElementBuilder::tipo('C', ' ').registros(1).numRegistros(32767)}));
    const SalidaCli s = ejecutaCli({QStringLiteral("procesar"), QStringLiteral("--bdd"), m_muestra.database,
                                    QStringLiteral("--bin"), ruta("mala.bin")});
    EXPECT_EQ(s.estado, 1);
    EXPECT_TRUE(
        s.errores.contains(QStringLiteral("Fichero Corrupto\nElemento en el byte %1: ").arg(primero.size())))
        << s.errores.toStdString();
    EXPECT_FALSE(s.errores.contains(QStringLiteral("done"))) << s.errores.toStdString();
    const SalidaCli volcado = ejecutaCli({QStringLiteral("volcar"), ruta("mala.bin")});
    EXPECT_EQ(volcado.estado, 1);
}

// Empty names are wrong usage, refused before anything is touched; an output that is the drawing or the
// database itself is refused before the old output is deleted.
TEST_F(ProcesarEstados, EmptyNamesAndAnOutputThatIsAnInputTouchNothing) {
    const QString bin = m_muestra.drawing;
    const QString salida = app::nombreDeSalida(bin);
    writeFile(salida, Bytes(10, 0x33));
    for (const QStringList& args : {QStringList{"procesar", "--bdd=", "--bin", bin},
                                    QStringList{"procesar", "--bdd", m_muestra.database, "--bin="}}) {
        const SalidaCli s = ejecutaCli(args);
        EXPECT_EQ(s.estado, 2) << s.errores.toStdString();
        EXPECT_FALSE(s.errores.contains(QStringLiteral("QFSFileEngine")));
        EXPECT_EQ(readFile(salida), Bytes(10, 0x33));
    }

    const QString bdd = ruta("x_s.bin");
    ASSERT_TRUE(QFile::copy(m_muestra.database, bdd));
    ASSERT_TRUE(QFile::copy(bin, ruta("x.bin")));
    const Bytes antes = readFile(bdd);
    const SalidaCli s = ejecutaCli(
        {QStringLiteral("procesar"), QStringLiteral("--bdd"), bdd, QStringLiteral("--bin"), ruta("x.bin")});
    EXPECT_EQ(s.estado, 1);
    EXPECT_TRUE(s.errores.contains(QStringLiteral("es el mismo fichero"))) << s.errores.toStdString();
    EXPECT_EQ(readFile(bdd), antes);
}

TEST_F(ProcesarEstados, AWrongUsageEndsWithTwoAndAFailureWithOne) {
    const QString bin = m_muestra.drawing;
    const QString bdd = m_muestra.database;
    EXPECT_EQ(ejecutaCli({QStringLiteral("procesar"), QStringLiteral("--bin"), bin}).estado, 2);
    EXPECT_EQ(ejecutaCli({QStringLiteral("procesar"), QStringLiteral("--bdd"), bdd}).estado, 2);
    EXPECT_EQ(ejecutaCli({QStringLiteral("procesar"), QStringLiteral("--bdd"), bdd, QStringLiteral("--bdd"),
                          bdd, QStringLiteral("--bin"), bin})
                  .estado,
              2);
    EXPECT_EQ(ejecutaCli({QStringLiteral("procesar"), QStringLiteral("--bdd"), bdd, QStringLiteral("--bin"),
                          bin, QStringLiteral("--modo"), QStringLiteral("quizas")})
                  .estado,
              2);
    // A refused command line touches nothing.
    EXPECT_FALSE(QFile::exists(app::nombreDeSalida(bin)));

    ASSERT_TRUE(QFile::copy(QStringLiteral(VEXILO_TESTDATA "/nwind.mdb"), ruta("datos.mdb")));
    const SalidaCli access = ejecutaCli({QStringLiteral("procesar"), QStringLiteral("--bdd"),
                                         ruta("datos.mdb"), QStringLiteral("--bin"), bin});
    EXPECT_EQ(access.estado, 1);
    EXPECT_TRUE(access.errores.contains(QStringLiteral("vexilo-cli importar")))
        << access.errores.toStdString();

    const SalidaCli sinBd = ejecutaCli({QStringLiteral("procesar"), QStringLiteral("--bdd"),
                                        ruta("no-existe.sqlite"), QStringLiteral("--bin"), bin});
    EXPECT_EQ(sinBd.estado, 1);
    EXPECT_TRUE(sinBd.errores.contains(QStringLiteral("Error "))) << sinBd.errores.toStdString();
    EXPECT_FALSE(QFile::exists(ruta("no-existe.sqlite")));  // the engine never creates a database
}

TEST(ImportarCli, ImportsAndRefusesToOverwriteWithoutForzar) {
    QTemporaryDir dir;
    const QString destino = dir.filePath(QStringLiteral("nw.sqlite"));
    const QString origen = QStringLiteral(VEXILO_TESTDATA "/nwind.mdb");
    const SalidaCli s = ejecutaCli({QStringLiteral("importar"), origen, destino});
    ASSERT_EQ(s.estado, 0) << s.errores.toStdString();
    EXPECT_TRUE(s.salida.contains(QStringLiteral("Order Details : 2155 filas")));
    EXPECT_TRUE(s.errores.isEmpty()) << s.errores.toStdString();  // libmdb's own chatter is kept off
    const SalidaCli otra = ejecutaCli({QStringLiteral("importar"), origen, destino});
    EXPECT_EQ(otra.estado, 1);
    EXPECT_TRUE(otra.errores.contains(QStringLiteral("--forzar")));
    EXPECT_EQ(ejecutaCli({QStringLiteral("importar"), origen, destino, QStringLiteral("--forzar")}).estado,
              0);
    // A SQLite source is imported too; a file that is no database of any kind is refused.
    EXPECT_EQ(
        ejecutaCli({QStringLiteral("importar"), destino, dir.filePath(QStringLiteral("x.sqlite"))}).estado,
        0);
    QFile texto(dir.filePath(QStringLiteral("notas.txt")));
    ASSERT_TRUE(texto.open(QIODevice::WriteOnly));
    texto.write("no es una base de datos\n");
    texto.close();
    const SalidaCli mala =
        ejecutaCli({QStringLiteral("importar"), texto.fileName(), dir.filePath(QStringLiteral("y.sqlite"))});
    EXPECT_EQ(mala.estado, 1);
    EXPECT_TRUE(mala.errores.contains(QStringLiteral("no es una base de datos")))
        << mala.errores.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("y.sqlite"))));
}

}  // namespace
}  // namespace vexilo::testing
