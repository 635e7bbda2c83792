// vexilo-cli procesar --informe and --simular, and the small things a scripter meets: --version, the
// help, the mode in any case, progress lines that name their drawing, no stray output before an error.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "app/fileselection.h"
#include "app/version.h"
#include "cli/cliprocess.h"
#include "support/dbdump.h"
#include "support/elementbuilder.h"
#include "tools/sample/sample.h"

namespace vexilo::testing {
namespace {

const QString kNothingChanged = QStringLiteral("Simulación: no se ha cambiado nada");

QJsonObject parsed(const QByteArray& text) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return doc.object();
}

class ReportAndSimulation : public ::testing::Test {
  protected:
    void SetUp() override {
        sample::Options o;
        o.elements = 1500;
        o.texts = 300;
        o.tables = 3;
        o.seed = 5;
        m_sample = sample::generate(m_dir.path(), o);
    }
    QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    QStringList folder() const {
        return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    CliOutput process(QStringList more) const {
        return runCli(QStringList{QStringLiteral("procesar"), QStringLiteral("--bdd"), m_sample.database,
                                  QStringLiteral("--bin"), m_sample.drawing} +
                      more);
    }

    QTemporaryDir m_dir;
    sample::Result m_sample;
};

// The simulation changes no table and writes no drawing, and its report is the one the real job then
// writes to the standard output, entry for entry; the summary then goes to the standard error.
TEST_F(ReportAndSimulation, TheSimulationsReportIsTheRealJobsAndChangesNothing) {
    const QStringList rows = rowsOfEveryTable(m_sample.database);
    const QStringList before = folder();
    const CliOutput simulated = process({"--simular", "--informe", path("simulado.json")});
    ASSERT_EQ(simulated.state, 0) << simulated.errors.toStdString();
    EXPECT_TRUE(simulated.output.contains(kNothingChanged)) << simulated.output.toStdString();
    EXPECT_FALSE(simulated.output.contains(QStringLiteral("Creado el fichero")));
    EXPECT_EQ(rowsOfEveryTable(m_sample.database), rows);
    EXPECT_EQ(folder(), QStringList(before) << QStringLiteral("simulado.json"));

    const CliOutput real = process({"--informe", "-"});
    ASSERT_EQ(real.state, 0) << real.errors.toStdString();
    EXPECT_TRUE(
        real.errors.contains(QStringLiteral("Creado el fichero : ") + app::outputNameOf(m_sample.drawing)));
    const QJsonObject written = parsed(real.output.toUtf8());
    QFile file(path("simulado.json"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject foreseen = parsed(file.readAll());
    EXPECT_TRUE(foreseen["simulado"].toBool());
    EXPECT_FALSE(written["simulado"].toBool());
    EXPECT_EQ(written["elementos"].toArray().size(), m_sample.texts);
    EXPECT_EQ(written["elementos"], foreseen["elementos"]);
    EXPECT_EQ(written["totales"], foreseen["totales"]);
    EXPECT_NE(rowsOfEveryTable(m_sample.database), rows);
}

// A stop in a simulation changes nothing either, and the console says so after the stop's message.
TEST_F(ReportAndSimulation, AStopDuringASimulationChangesNothingAndSaysSo) {
    writeFile(path("mala.bin"),
              concat({ElementBuilder::t().codigoNul("1").texto("X"), ElementBuilder::tipo('X', '=')}));
    const QStringList rows = rowsOfEveryTable(m_sample.database);
    const CliOutput s = runCli({QStringLiteral("procesar"), QStringLiteral("--bdd"), m_sample.database,
                                QStringLiteral("--bin"), path("mala.bin"), QStringLiteral("--simular"),
                                QStringLiteral("--informe"), path("mala.json")});
    EXPECT_EQ(s.state, 1);
    EXPECT_TRUE(s.errors.contains(QStringLiteral("Fichero Corrupto\n"))) << s.errors.toStdString();
    EXPECT_TRUE(s.errors.contains(kNothingChanged)) << s.errors.toStdString();
    EXPECT_EQ(rowsOfEveryTable(m_sample.database), rows);
    EXPECT_FALSE(QFile::exists(path("mala_s.bin")));
    QFile file(path("mala.json"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject report = parsed(file.readAll());
    EXPECT_EQ(report["final"].toString(), "detenido");
    EXPECT_EQ(report["parada"].toObject()["desplazamiento"].toInteger(),
              ElementBuilder::t().codigoNul("1").texto("X").size());
}

// A report that would replace the drawing, its output or the database is refused before anything is
// written; one report for several drawings is wrong usage.
TEST_F(ReportAndSimulation, AReportOverAnInputOrForSeveralDrawingsIsRefused) {
    const Bytes drawing = readFile(m_sample.drawing);
    for (const QString& victim : {m_sample.drawing, m_sample.database, app::outputNameOf(m_sample.drawing)}) {
        const CliOutput s = process({"--informe", victim});
        EXPECT_EQ(s.state, 1) << victim.toStdString();
        EXPECT_EQ(readFile(m_sample.drawing), drawing);
        EXPECT_FALSE(QFile::exists(app::outputNameOf(m_sample.drawing)));
    }
    ASSERT_TRUE(QFile::copy(m_sample.drawing, path("h2.bin")));
    const CliOutput several = process({"--bin", path("h2.bin"), "--informe", path("i.json")});
    EXPECT_EQ(several.state, 2);
    EXPECT_TRUE(several.errors.contains(QStringLiteral("--informe"))) << several.errors.toStdString();
    EXPECT_FALSE(QFile::exists(path("i.json")));
}

// A failed job leaves no report file; on the standard output, where nothing can be taken back, the
// document still ends, saying that the job failed and why.
TEST_F(ReportAndSimulation, AFailedJobLeavesNoReportAndTheStandardOutputSaysItFailed) {
    const QStringList missing = {QStringLiteral("procesar"), QStringLiteral("--bdd"),
                                 path("noexiste.sqlite"),    QStringLiteral("--bin"),
                                 m_sample.drawing,           QStringLiteral("--informe")};
    const CliOutput toFile = runCli(missing + QStringList{path("informe.json")});
    EXPECT_EQ(toFile.state, 1);
    EXPECT_FALSE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).join(' ').contains("informe"));
    const CliOutput toOutput = runCli(missing + QStringList{QStringLiteral("-")});
    EXPECT_EQ(toOutput.state, 1);
    const QJsonObject report = parsed(toOutput.output.toUtf8());
    EXPECT_EQ(report["final"].toString(), "fallido");
    EXPECT_TRUE(report["error"].toString().startsWith(QStringLiteral("Error 3024\n")))
        << toOutput.output.toStdString();
    EXPECT_TRUE(report["elementos"].toArray().isEmpty());
}

// Every progress line names its drawing; a failure prints its message with nothing before it.
TEST_F(ReportAndSimulation, ProgressLinesNameTheirDrawingAndNoStrayLinePrecedesAnError) {
    ASSERT_TRUE(QFile::copy(m_sample.drawing, path("h2.bin")));
    const CliOutput two = process({"--bin", path("h2.bin")});
    ASSERT_EQ(two.state, 0) << two.errors.toStdString();
    for (const QString& bin : {m_sample.drawing, path("h2.bin")}) {
        EXPECT_TRUE(two.errors.contains(
            bin + QStringLiteral(": 0...10...20...30...40...50...60...70...80...90...100 - done.")))
            << two.errors.toStdString();
    }
    const CliOutput missing = runCli({QStringLiteral("procesar"), QStringLiteral("--bdd"), m_sample.database,
                                      QStringLiteral("--bin"), path("noexiste.bin")});
    EXPECT_EQ(missing.state, 1);
    EXPECT_TRUE(missing.errors.startsWith(QStringLiteral("Error 53\n"))) << missing.errors.toStdString();
}

TEST_F(ReportAndSimulation, TheModeIsTakenInAnyCase) {
    for (const char* mode : {"SI", "Sí", "TEXTO", "No"}) {
        EXPECT_EQ(process({"-q", "--modo", mode}).state, 0) << mode;
    }
    EXPECT_EQ(process({"--modo", "sii"}).state, 2);
}

TEST(CliVersionAndHelp, VersionNamesTheProgramAndTheHelpEveryOption) {
    const CliOutput version = runCli({QStringLiteral("--version")});
    EXPECT_EQ(version.state, 0);
    EXPECT_EQ(version.output, app::versionText(QStringLiteral("vexilo-cli")) + QLatin1Char('\n'));
    const CliOutput help = runCli({QStringLiteral("--help")});
    EXPECT_EQ(help.state, 0);
    for (const char* option : {"--espera", "--informe", "--simular", "--textos", "--tablas", "--registros",
                               "--semilla", "--forzar", "--json", "--version"}) {
        EXPECT_TRUE(help.output.contains(QLatin1String(option))) << option;
    }
}

}  // namespace
}  // namespace vexilo::testing
