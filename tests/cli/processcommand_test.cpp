// vexilo-cli procesar, run as a program on a generated sample, against the window's job run in this
// process on an identical copy: same output bytes, same database rows, same log rows apart from
// the date and time of logging; then its exit statuses.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <ostream>

#include "app/fileselection.h"
#include "app/job.h"
#include "app/rundriver.h"
#include "cli/cliprocess.h"
#include "support/catalogfixture.h"
#include "support/dbdump.h"
#include "support/elementbuilder.h"
#include "support/recordingdisplay.h"
#include "support/testservices.h"
#include "tools/sample/sample.h"

namespace vexilo::testing {
namespace {

sample::Options options() {
    sample::Options o;
    o.elements = 1500;
    o.texts = 300;
    o.tables = 3;
    o.seed = 11;
    return o;
}

struct Case {
    const char* mode;
    app::Mode asWindow;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << "--modo " << c.mode;
}

class ProcessAsWindow : public ::testing::TestWithParam<Case> {};

TEST_P(ProcessAsWindow, GivesTheSameOutputDatabaseAndLogAsTheWindowsRunDriver) {
    QTemporaryDir dirCli, windowDir;
    const sample::Result cli = sample::generate(dirCli.path(), options());
    const sample::Result window = sample::generate(windowDir.path(), options());
    // A stale output of the same name is replaced, as when the drawing is chosen in the window.
    writeFile(app::outputNameOf(cli.drawing), Bytes(5000, 0x55));

    const CliOutput s =
        runCli({QStringLiteral("procesar"), QStringLiteral("--bdd"), cli.database, QStringLiteral("--bin"),
                cli.drawing, QStringLiteral("--modo"), QString::fromLatin1(GetParam().mode)});
    ASSERT_EQ(s.state, 0) << s.errors.toStdString();

    TestServices services;
    desktop::ScopedServices reach(services);
    RecordingDisplay display;
    // The window's job, run directly so that what it counted can be read.
    const app::JobInputs in{
        window.database, window.drawing, app::outputNameOf(window.drawing), GetParam().asWindow, {}};
    app::Job job(in, display);
    const core::RunOutcome r = job.run();
    ASSERT_EQ(r.kind, core::RunOutcome::Kind::Finished)
        << r.description.toStdString() << r.message.toStdString();

    EXPECT_EQ(readFile(app::outputNameOf(cli.drawing)), readFile(in.NombreBinSalida));
    EXPECT_EQ(testing::rowsOfEveryTable(cli.database, dirCli.path()),
              testing::rowsOfEveryTable(window.database, windowDir.path()));

    EXPECT_TRUE(s.output.contains(QStringLiteral("Creado el fichero : ") + app::outputNameOf(cli.drawing)))
        << s.output.toStdString();
    EXPECT_TRUE(s.output.contains(QStringLiteral("Textos Procesados : %1\n").arg(job.TextosProcesados())));
    EXPECT_TRUE(
        s.errors.contains(QStringLiteral("0...10...20...30...40...50...60...70...80...90...100 - done.")))
        << s.errors.toStdString();
    // The sample always has elements the job passes over: their counts are part of the summary on the
    // standard output, once, and are not repeated among the messages.
    ASSERT_FALSE(job.report().empty());
    EXPECT_EQ(s.output.count(QStringLiteral("Elementos no tratados:")), 1) << s.output.toStdString();
    EXPECT_FALSE(s.errors.contains(QStringLiteral("Elementos no tratados:"))) << s.errors.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Modes, ProcessAsWindow,
                         ::testing::Values(Case{"no", app::Mode::No}, Case{"si", app::Mode::Si},
                                           Case{"texto", app::Mode::RewriteText}),
                         [](const auto& info) { return std::string(info.param.mode); });

class ProcessStatuses : public ::testing::Test {
  protected:
    void SetUp() override { m_sample = sample::generate(m_dir.path(), options()); }
    QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir m_dir;
    sample::Result m_sample;
};

TEST_F(ProcessStatuses, SeveralDrawingsRunInOrderAndAStopEndsTheRunWithStatusOne) {
    ASSERT_TRUE(QFile::copy(m_sample.drawing, path("hoja2.bin")));
    writeFile(path("mala.bin"),
              concat({ElementBuilder::c().bytes(), ElementBuilder::tipo('X', '=').bytes()}));
    const CliOutput s =
        runCli({QStringLiteral("procesar"), QStringLiteral("-q"), QStringLiteral("--bdd"), m_sample.database,
                QStringLiteral("--bin"), m_sample.drawing, QStringLiteral("--bin"), path("hoja2.bin"),
                QStringLiteral("--bin"), path("mala.bin"), QStringLiteral("--bin"), path("nunca.bin")});
    EXPECT_EQ(s.state, 1);
    EXPECT_TRUE(QFile::exists(app::outputNameOf(m_sample.drawing)));
    EXPECT_TRUE(QFile::exists(path("hoja2_s.bin")));
    EXPECT_EQ(s.output.count(QStringLiteral("Creado el fichero : ")), 2);
    EXPECT_TRUE(s.errors.contains(QStringLiteral("Fichero Corrupto"))) << s.errors.toStdString();
    EXPECT_FALSE(s.errors.contains(QStringLiteral("...10")));  // -q: no progress
    // The elements before the damage are in its output; the drawing after it was never started.
    EXPECT_EQ(readFile(path("mala_s.bin")).size(), ElementBuilder::c().size());
    EXPECT_FALSE(QFile::exists(path("nunca_s.bin")));
}

// The console says where a drawing is damaged and why, on the line after the window's exact message;
// a dropped element whose counts run past the end is such damage, not a quiet end of the walk.
TEST_F(ProcessStatuses, DamageIsReportedWithItsOffsetAndReasonAndEndsWithOne) {
    const ElementBuilder first = ElementBuilder::c().records(1);
    writeFile(path("mala.bin"),
              concat({first, ElementBuilder::tipo('C', ' ').records(1).numRegistros(32767)}));
    const CliOutput s = runCli({QStringLiteral("procesar"), QStringLiteral("--bdd"), m_sample.database,
                                QStringLiteral("--bin"), path("mala.bin")});
    EXPECT_EQ(s.state, 1);
    EXPECT_TRUE(
        s.errors.contains(QStringLiteral("Fichero Corrupto\nElemento en el byte %1: ").arg(first.size())))
        << s.errors.toStdString();
    EXPECT_FALSE(s.errors.contains(QStringLiteral("done"))) << s.errors.toStdString();
    const CliOutput copier = runCli({QStringLiteral("volcar"), path("mala.bin")});
    EXPECT_EQ(copier.state, 1);
}

// Empty names are wrong usage, refused before anything is touched; an output that is the drawing or the
// database itself is refused and left as it is.
TEST_F(ProcessStatuses, EmptyNamesAndAnOutputThatIsAnInputTouchNothing) {
    const QString bin = m_sample.drawing;
    const QString output = app::outputNameOf(bin);
    writeFile(output, Bytes(10, 0x33));
    for (const QStringList& args : {QStringList{"procesar", "--bdd=", "--bin", bin},
                                    QStringList{"procesar", "--bdd", m_sample.database, "--bin="}}) {
        const CliOutput s = runCli(args);
        EXPECT_EQ(s.state, 2) << s.errors.toStdString();
        EXPECT_FALSE(s.errors.contains(QStringLiteral("QFSFileEngine")));
        EXPECT_EQ(readFile(output), Bytes(10, 0x33));
    }

    const QString dbPath = path("x_s.bin");
    ASSERT_TRUE(QFile::copy(m_sample.database, dbPath));
    ASSERT_TRUE(QFile::copy(bin, path("x.bin")));
    const Bytes before = readFile(dbPath);
    const CliOutput s = runCli({QStringLiteral("procesar"), QStringLiteral("--bdd"), dbPath,
                                QStringLiteral("--bin"), path("x.bin")});
    EXPECT_EQ(s.state, 1);
    EXPECT_TRUE(s.errors.contains(QStringLiteral("es el mismo fichero"))) << s.errors.toStdString();
    EXPECT_EQ(readFile(dbPath), before);
}

// An old output keeps its name until the job's own output takes it: a job that fails before its pass
// leaves it whole, a stop publishes the elements before it over it, and a finished job replaces it.
TEST_F(ProcessStatuses, AnOldOutputStaysUntilTheJobsOwnOutputTakesItsName) {
    const QString output = app::outputNameOf(m_sample.drawing);
    const Bytes old(700, 0x76);
    writeFile(output, old);
    const CliOutput failed = runCli({QStringLiteral("procesar"), QStringLiteral("--bdd"),
                                     path("noexiste.sqlite"), QStringLiteral("--bin"), m_sample.drawing});
    EXPECT_EQ(failed.state, 1);
    EXPECT_TRUE(failed.errors.contains(QStringLiteral("No se ha cambiado nada")))
        << failed.errors.toStdString();
    EXPECT_EQ(readFile(output), old);

    // The drawing is a file too: a job that cannot read it fails, and the old output stays.
    const QString gone = path("nada.bin");
    writeFile(app::outputNameOf(gone), old);
    EXPECT_EQ(runCli({QStringLiteral("procesar"), QStringLiteral("--bdd"), m_sample.database,
                      QStringLiteral("--bin"), gone})
                  .state,
              1);
    EXPECT_EQ(readFile(app::outputNameOf(gone)), old);

    // A stop before the pass (a database without its catalog) writes no element: the old output stays.
    testing::CatalogTables withoutCatalog;
    withoutCatalog.withMsCatalog = false;
    testing::createCatalogDatabase(path("sincatalogo.sqlite"), withoutCatalog);
    const CliOutput stopped = runCli({QStringLiteral("procesar"), QStringLiteral("--bdd"),
                                      path("sincatalogo.sqlite"), QStringLiteral("--bin"), m_sample.drawing});
    EXPECT_EQ(stopped.state, 1);
    EXPECT_TRUE(stopped.errors.contains(QStringLiteral("No existe la tabla MsCatalog")))
        << stopped.errors.toStdString();
    EXPECT_EQ(readFile(output), old);

    const ElementBuilder first = ElementBuilder::c().records(1);
    writeFile(path("mala.bin"), concat({first, ElementBuilder::tipo('X', '=')}));
    writeFile(path("mala_s.bin"), old);
    EXPECT_EQ(runCli({QStringLiteral("procesar"), QStringLiteral("--bdd"), m_sample.database,
                      QStringLiteral("--bin"), path("mala.bin")})
                  .state,
              1);
    EXPECT_EQ(readFile(path("mala_s.bin")), first.bytes());

    const CliOutput finished =
        runCli({QStringLiteral("procesar"), QStringLiteral("-q"), QStringLiteral("--bdd"), m_sample.database,
                QStringLiteral("--bin"), m_sample.drawing});
    ASSERT_EQ(finished.state, 0) << finished.errors.toStdString();
    const Bytes written = readFile(output);
    EXPECT_NE(written, old);
    // The job's drawing: every carried element of the input, the dropped ones left out.
    std::size_t carried = 0;
    for (const ParsedElement& e : parseElements(readFile(m_sample.drawing))) {
        carried += e.tipo[1] == '=' ? 1 : 0;
    }
    EXPECT_EQ(parseElements(written).size(), carried);
    EXPECT_EQ(QDir(m_dir.path()).entryList({QStringLiteral("*.parcial-*")}, QDir::Files), QStringList());
}

// An output name that only a folder holds is refused as it was, and the folder is left as it is.
TEST_F(ProcessStatuses, AnOutputNameHeldByAFolderIsRefused) {
    const QString output = app::outputNameOf(m_sample.drawing);
    ASSERT_TRUE(QDir().mkpath(output + QStringLiteral("/dentro")));
    const QString before = rowsOfEveryTable(m_sample.database).join(QLatin1Char('\n'));
    const CliOutput s = runCli({QStringLiteral("procesar"), QStringLiteral("--bdd"), m_sample.database,
                                QStringLiteral("--bin"), m_sample.drawing});
    EXPECT_EQ(s.state, 1);
    EXPECT_TRUE(s.errors.contains(QStringLiteral("con ese nombre hay una carpeta")))
        << s.errors.toStdString();
    EXPECT_TRUE(QFileInfo(output + QStringLiteral("/dentro")).isDir());
    EXPECT_EQ(rowsOfEveryTable(m_sample.database).join(QLatin1Char('\n')), before);  // nothing changed
}

TEST_F(ProcessStatuses, AWrongUsageEndsWithTwoAndAFailureWithOne) {
    const QString bin = m_sample.drawing;
    const QString dbPath = m_sample.database;
    EXPECT_EQ(runCli({QStringLiteral("procesar"), QStringLiteral("--bin"), bin}).state, 2);
    EXPECT_EQ(runCli({QStringLiteral("procesar"), QStringLiteral("--bdd"), dbPath}).state, 2);
    EXPECT_EQ(runCli({QStringLiteral("procesar"), QStringLiteral("--bdd"), dbPath, QStringLiteral("--bdd"),
                      dbPath, QStringLiteral("--bin"), bin})
                  .state,
              2);
    EXPECT_EQ(runCli({QStringLiteral("procesar"), QStringLiteral("--bdd"), dbPath, QStringLiteral("--bin"),
                      bin, QStringLiteral("--modo"), QStringLiteral("quizas")})
                  .state,
              2);
    // A refused command line touches nothing.
    EXPECT_FALSE(QFile::exists(app::outputNameOf(bin)));

    ASSERT_TRUE(QFile::copy(QStringLiteral(VEXILO_TESTDATA "/nwind.mdb"), path("datos.mdb")));
    const CliOutput access = runCli({QStringLiteral("procesar"), QStringLiteral("--bdd"), path("datos.mdb"),
                                     QStringLiteral("--bin"), bin});
    EXPECT_EQ(access.state, 1);
    EXPECT_TRUE(access.errors.contains(QStringLiteral("vexilo-cli importar"))) << access.errors.toStdString();

    const CliOutput withoutDatabase = runCli({QStringLiteral("procesar"), QStringLiteral("--bdd"),
                                              path("no-existe.sqlite"), QStringLiteral("--bin"), bin});
    EXPECT_EQ(withoutDatabase.state, 1);
    EXPECT_TRUE(withoutDatabase.errors.contains(QStringLiteral("Error ")))
        << withoutDatabase.errors.toStdString();
    EXPECT_FALSE(QFile::exists(path("no-existe.sqlite")));  // the engine never creates a database
}

TEST(ImportCli, ImportsAndRefusesToOverwriteWithoutForce) {
    QTemporaryDir dir;
    const QString destination = dir.filePath(QStringLiteral("nw.sqlite"));
    const QString source = QStringLiteral(VEXILO_TESTDATA "/nwind.mdb");
    const CliOutput s = runCli({QStringLiteral("importar"), source, destination});
    ASSERT_EQ(s.state, 0) << s.errors.toStdString();
    EXPECT_TRUE(s.output.contains(QStringLiteral("Order Details : 2155 filas")));
    EXPECT_TRUE(s.errors.isEmpty()) << s.errors.toStdString();  // libmdb's own chatter is kept off
    const CliOutput other = runCli({QStringLiteral("importar"), source, destination});
    EXPECT_EQ(other.state, 1);
    EXPECT_TRUE(other.errors.contains(QStringLiteral("--forzar")));
    EXPECT_EQ(runCli({QStringLiteral("importar"), source, destination, QStringLiteral("--forzar")}).state, 0);
    // A SQLite source is imported too; a file that is no database of any kind is refused.
    EXPECT_EQ(
        runCli({QStringLiteral("importar"), destination, dir.filePath(QStringLiteral("x.sqlite"))}).state, 0);
    QFile texto(dir.filePath(QStringLiteral("notas.txt")));
    ASSERT_TRUE(texto.open(QIODevice::WriteOnly));
    texto.write("no es una base de datos\n");
    texto.close();
    const CliOutput bad =
        runCli({QStringLiteral("importar"), texto.fileName(), dir.filePath(QStringLiteral("y.sqlite"))});
    EXPECT_EQ(bad.state, 1);
    EXPECT_TRUE(bad.errors.contains(QStringLiteral("no es una base de datos"))) << bad.errors.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("y.sqlite"))));
}

}  // namespace
}  // namespace vexilo::testing
