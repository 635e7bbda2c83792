// The job's report: what a real job and its simulation write, element by element; the name it takes
// only at the end; a stop that says where; a failure that leaves none.
#include "app/jobreport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "app/fileselection.h"
#include "app/job.h"
#include "support/catalogfixture.h"
#include "support/elementbuilder.h"
#include "support/recordingdisplay.h"
#include "support/testservices.h"

namespace vexilo::app {
namespace {

using testing::Bytes;
using testing::ElementBuilder;

testing::CatalogTables catalog() {
    testing::CatalogTables t;
    t.msCatalog = {{"CALLES", 7}};
    t.feature = {{123, "CALLES"}, {124, "CALLES"}};
    t.attributeTables = {"CALLES"};
    return t;
}

QJsonObject readReport(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return doc.object();
}

class JobReportTest : public ::testing::Test {
  protected:
    QString path(const QString& name) const { return dir.filePath(name); }

    // A database and a drawing of `n` texts under `name`: every third already in the table, every
    // fifth of an unknown code.
    void prepare(const QString& name, int n) {
        testing::createCatalogDatabase(path(name + ".sqlite"), catalog());
        auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(path(name + ".sqlite"));
        std::vector<ElementBuilder> elements;
        for (int i = 0; i < n; ++i) {
            const std::string texto = "CALLE " + std::to_string(i);
            if (i % 3 == 0) {
                db->InsertRow("CALLES", {{"mslink", i + 1}, {"tmapa", QString::fromStdString(texto)}});
            }
            elements.push_back(ElementBuilder::t().codigoNul(i % 5 == 4 ? "999" : "123").texto(texto));
            elements.push_back(ElementBuilder::c().records(1));
        }
        db->Close();
        testing::writeFile(path(name + ".bin"), testing::concat(elements));
    }

    // Runs the job on `name` with a report at `report`, as the command line does; returns how it
    // ended, and keeps the texts it processed in `TextosProcesados`.
    core::RunOutcome runWithReport(const QString& name, const QString& report, Mode mode, bool simulate) {
        JobInputs in{path(name + ".sqlite"), path(name + ".bin"), QString(), mode, {}};
        in.NombreBinSalida = outputNameOf(in.NombreBin);
        in.options.simulate = simulate;
        JobReport written(report, {in.NombreBdD, in.NombreBin, in.NombreBinSalida, mode, simulate});
        Job job(in, display, &written);
        const core::RunOutcome outcome = job.run();
        TextosProcesados = job.TextosProcesados();
        written.finish(outcome, TextosProcesados);
        return outcome;
    }

    QTemporaryDir dir;
    testing::TestServices services;
    desktop::ScopedServices installed{services};
    testing::RecordingDisplay display;
    std::int32_t TextosProcesados = -1;  // of the last job run
};

// Enough elements that the report is written to the file in several pieces.
TEST_F(JobReportTest, ARealJobAndItsSimulationWriteTheSameEntriesAndTotals) {
    prepare(QStringLiteral("real"), 1500);
    prepare(QStringLiteral("simulado"), 1500);
    ASSERT_EQ(runWithReport("simulado", path("simulado.json"), Mode::No, true).kind,
              core::RunOutcome::Kind::Finished);
    ASSERT_EQ(runWithReport("real", path("real.json"), Mode::No, false).kind,
              core::RunOutcome::Kind::Finished);
    const QJsonObject real = readReport(path("real.json"));
    const QJsonObject simulated = readReport(path("simulado.json"));
    EXPECT_FALSE(real["simulado"].toBool());
    EXPECT_TRUE(simulated["simulado"].toBool());
    EXPECT_EQ(real["elementos"], simulated["elementos"]);
    EXPECT_EQ(real["totales"], simulated["totales"]);
    EXPECT_EQ(real["final"].toString(), "terminado");
    EXPECT_EQ(real["modo"].toString(), "no");
    EXPECT_EQ(real["entrada"].toString(), path("real.bin"));
    EXPECT_EQ(real["salida"].toString(), path("real_s.bin"));

    // The totals count the entries, and the texts processed are the job's.
    const QJsonArray entries = real["elementos"].toArray();
    ASSERT_EQ(entries.size(), 1500);
    std::map<QString, int> decisions, omitted;
    int added = 0;
    for (const auto& value : entries) {
        const QJsonObject e = value.toObject();
        EXPECT_NE(e.contains("decision"), e.contains("omitido"));
        ++(e.contains("decision") ? decisions[e["decision"].toString()] : omitted[e["omitido"].toString()]);
        added += e["registro_nuevo"].toBool() ? 1 : 0;
    }
    const QJsonObject totals = real["totales"].toObject();
    for (const auto& [name, count] : decisions) {
        EXPECT_EQ(totals["decisiones"].toObject()[name].toInt(), count) << name.toStdString();
    }
    for (const auto& [reason, count] : omitted) {
        EXPECT_EQ(totals["omitidos"].toObject()[reason].toInt(), count) << reason.toStdString();
    }
    EXPECT_EQ(decisions["mantener"], 0);  // no element carries a link yet
    EXPECT_EQ(decisions["añadir"], 1200);
    EXPECT_EQ(omitted[core::passedOverText(core::PassedOver::NoFeature)], 300);
    EXPECT_EQ(totals["registros_nuevos"].toInt(), added);
    EXPECT_EQ(totals["textos_procesados"].toInt(), TextosProcesados);
    EXPECT_EQ(totals["textos_procesados"].toInt(), 1200);
}

// An entry holds exactly the keys of its kind: an assignment with a table, a text passed over, a
// rewritten text.
TEST_F(JobReportTest, EveryEntryHoldsTheKeysOfItsKind) {
    prepare(QStringLiteral("mapa"), 5);
    ASSERT_EQ(runWithReport("mapa", path("a.json"), Mode::Si, false).kind, core::RunOutcome::Kind::Finished);
    const QJsonArray assigned = readReport(path("a.json"))["elementos"].toArray();
    ASSERT_EQ(assigned.size(), 5);
    EXPECT_EQ(assigned[0].toObject().keys(),
              (QStringList{"codigo", "decision", "desplazamiento", "entitynum", "registro", "registro_nuevo",
                           "registro_reclamado", "tabla", "texto"}));
    EXPECT_EQ(assigned[0].toObject()["decision"].toString(), "añadir");
    EXPECT_EQ(assigned[0].toObject()["texto"].toString(), "CALLE 0");
    EXPECT_EQ(assigned[4].toObject().keys(), (QStringList{"codigo", "desplazamiento", "omitido", "texto"}));
    EXPECT_EQ(assigned[4].toObject()["codigo"].toString(), "999");

    auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(path("mapa.sqlite"));
    const engines::RowId first = db->ReadRows("CALLES", {"mslink"}).front().id;
    db->UpdateRow("CALLES", first, {{"tmapa", "AVENIDA"}});
    db->Close();
    testing::writeFile(path("mapa.bin"), testing::readFile(path("mapa_s.bin")));
    ASSERT_EQ(runWithReport("mapa", path("t.json"), Mode::RewriteText, false).kind,
              core::RunOutcome::Kind::Finished);
    const QJsonObject rewritten = readReport(path("t.json"));
    EXPECT_EQ(rewritten["modo"].toString(), "texto");
    const QJsonObject e = rewritten["elementos"].toArray()[0].toObject();
    EXPECT_EQ(e.keys(), (QStringList{"codigo", "decision", "desplazamiento", "entitynum", "registro", "tabla",
                                     "texto", "texto_nuevo"}));
    EXPECT_EQ(e["decision"].toString(), "reescribir");
    EXPECT_EQ(e["texto_nuevo"].toString(), "AVENIDA");
    EXPECT_EQ(rewritten["elementos"].toArray()[1].toObject()["decision"].toString(), "mantener");
}

// Until the job ends, the report is only a temporary file beside its name; a stop gives it its name
// and says where; a failure leaves no file at all.
TEST_F(JobReportTest, TheReportTakesItsNameOnlyWhenTheJobEndsAndAFailureLeavesNone) {
    {
        JobReport open(path("informe.json"), {});
        core::TextEntry entry;
        entry.decision = core::Decision::Keep;
        open.text(entry);
        EXPECT_FALSE(QFile::exists(path("informe.json")));
        open.finish(core::RunOutcome{core::RunOutcome::Kind::Failed, {}, core::Icon::None, 3, "mal", {}}, 0);
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{});

    prepare(QStringLiteral("roto"), 3);
    Bytes drawing = testing::readFile(path("roto.bin"));
    const std::int64_t damageAt = static_cast<std::int64_t>(drawing.size());
    drawing.resize(drawing.size() + 3, 0x54);  // an element cut short after the last one
    testing::writeFile(path("roto.bin"), drawing);
    ASSERT_EQ(runWithReport("roto", path("roto.json"), Mode::No, false).kind,
              core::RunOutcome::Kind::Stopped);
    const QJsonObject stopped = readReport(path("roto.json"));
    EXPECT_EQ(stopped["final"].toString(), "detenido");
    EXPECT_EQ(stopped["parada"].toObject()["mensaje"].toString(), "Fichero Corrupto");
    EXPECT_EQ(stopped["parada"].toObject()["desplazamiento"].toInteger(), damageAt);
    EXPECT_TRUE(stopped["parada"].toObject()["detalle"].toString().contains(QString::number(damageAt)));
    EXPECT_EQ(stopped["elementos"].toArray().size(), 3);

    // A database that cannot be opened is a failure: no report, and no temporary file either.
    QFile::remove(path("roto.sqlite"));
    EXPECT_EQ(runWithReport("roto", path("fallo.json"), Mode::No, false).kind,
              core::RunOutcome::Kind::Failed);
    EXPECT_FALSE(QFile::exists(path("fallo.json")));
    EXPECT_TRUE(
        QDir(dir.path()).entryList({QStringLiteral("fallo.json*")}, QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(JobReportTest, AReportThatCannotBeWrittenIsAnErrorBeforeTheJob) {
    EXPECT_THROW(JobReport(path("no/existe/informe.json"), {}), core::RunError);
}

}  // namespace
}  // namespace vexilo::app
