// vexilo-cli volcar, run as a program: the listing of a sound file, of a damaged one, and usage errors.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "cli/cliprocess.h"
#include "support/elementbuilder.h"

namespace vexilo::testing {
namespace {

class Dump : public ::testing::Test {
  protected:
    // T at 0 (96 bytes), C at 96 (72), dropped T at 168 (72), C at 240 (48).
    std::vector<ElementBuilder> elements() const {
        return {ElementBuilder::t()
                    .codigoNul("123")
                    .unicodeText(QStringLiteral("PEÑA ALTA"))
                    .link(5, 17)
                    .link(1, 99),
                ElementBuilder::c().records(2).seed(2), ElementBuilder::tipo('T', ' ').texto("X").seed(3),
                ElementBuilder::c().seed(4)};
    }
    QString write(const char* name, const Bytes& b) const {
        const QString path = m_dir.filePath(QString::fromLatin1(name));
        writeFile(path, b);
        return path;
    }
    QTemporaryDir m_dir;
};

TEST_F(Dump, ListsEveryElementWithItsOffsetCodeTextLinksAndTheTotals) {
    const CliOutput s = runCli({QStringLiteral("volcar"), write("hoja.bin", concat(elements()))});
    ASSERT_EQ(s.state, 0) << s.errors.toStdString();
    const QStringList lines = s.output.split(QChar('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 4);
    EXPECT_TRUE(lines[0].contains(QStringLiteral("codigo \"123\""))) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains(QStringLiteral("texto \"PEÑA ALTA\"")));
    EXPECT_TRUE(lines[0].contains(QStringLiteral("atr 5:17 1:99")));
    EXPECT_TRUE(lines[0].contains(QStringLiteral("96 bytes")));
    EXPECT_TRUE(lines[1].trimmed().startsWith(QStringLiteral("96  C  lleva")));
    EXPECT_TRUE(lines[2].trimmed().startsWith(QStringLiteral("168  T  descartado")));
    EXPECT_TRUE(lines[2].contains(QStringLiteral("72 bytes")));
    EXPECT_TRUE(lines[3].trimmed().startsWith(QStringLiteral("240  C")));
    EXPECT_TRUE(s.output.contains(QStringLiteral("C llevados : 2")));
    EXPECT_TRUE(s.output.contains(QStringLiteral("T llevados : 1")));
    EXPECT_TRUE(s.output.contains(QStringLiteral("T descartados : 1")));
}

TEST_F(Dump, JsonCarriesTheSameFacts) {
    const CliOutput s =
        runCli({QStringLiteral("volcar"), write("hoja.bin", concat(elements())), QStringLiteral("--json")});
    ASSERT_EQ(s.state, 0) << s.errors.toStdString();
    QJsonParseError error;
    const QJsonObject doc = QJsonDocument::fromJson(s.output.toUtf8(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    const QJsonArray elem = doc[QStringLiteral("elementos")].toArray();
    ASSERT_EQ(elem.size(), 4);
    const QJsonObject t = elem[0].toObject();
    EXPECT_EQ(t[QStringLiteral("texto")].toString(), QStringLiteral("PEÑA ALTA"));
    EXPECT_EQ(t[QStringLiteral("tamano")].toInt(), 96);
    EXPECT_EQ(t[QStringLiteral("enlaces")].toArray()[0].toObject()[QStringLiteral("mslink")].toInt(), 17);
    EXPECT_FALSE(elem[2].toObject()[QStringLiteral("llevado")].toBool());
    EXPECT_EQ(elem[3].toObject()[QStringLiteral("desplazamiento")].toInt(), 240);
    const QJsonObject tot = doc[QStringLiteral("totales")].toObject();
    EXPECT_EQ(tot[QStringLiteral("llevados")].toObject()[QStringLiteral("C")].toInt(), 2);
    EXPECT_EQ(tot[QStringLiteral("bytes")].toInt(), 288);
    EXPECT_FALSE(doc.contains(QStringLiteral("error")));
}

TEST_F(Dump, ADamagedFileIsListedUpToTheDamageThenItsOffsetAndReason) {
    auto e = elements();
    e[2] = ElementBuilder::tipo('X', '=');  // a carried element of no known class at 168
    const CliOutput s = runCli({QStringLiteral("volcar"), write("mala.bin", concat(e))});
    EXPECT_EQ(s.state, 1);
    EXPECT_TRUE(s.output.contains(QStringLiteral("texto \"PEÑA ALTA\"")));
    EXPECT_FALSE(s.output.contains(QStringLiteral("  240  ")));
    EXPECT_TRUE(s.errors.contains(QStringLiteral("desplazamiento 168"))) << s.errors.toStdString();

    // Cut inside its second element: listed up to the first, damage at 96.
    Bytes shortOne = concat(std::vector<ElementBuilder>{elements()[0], elements()[1]});
    shortOne.resize(shortOne.size() - 5);
    const CliOutput c =
        runCli({QStringLiteral("volcar"), write("corta.bin", shortOne), QStringLiteral("--json")});
    EXPECT_EQ(c.state, 1);
    const QJsonObject doc = QJsonDocument::fromJson(c.output.toUtf8()).object();
    EXPECT_EQ(doc[QStringLiteral("elementos")].toArray().size(), 1);
    EXPECT_EQ(doc[QStringLiteral("error")].toObject()[QStringLiteral("desplazamiento")].toInt(), 96);
    EXPECT_FALSE(doc[QStringLiteral("error")].toObject()[QStringLiteral("motivo")].toString().isEmpty());
}

TEST(VexiloCli, UsageErrorsExitWithTwoAndFailuresWithOne) {
    EXPECT_EQ(runCli({}).state, 2);
    EXPECT_EQ(runCli({QStringLiteral("desconocida")}).state, 2);
    EXPECT_EQ(runCli({QStringLiteral("volcar")}).state, 2);
    EXPECT_EQ(runCli({QStringLiteral("volcar"), QStringLiteral("a"), QStringLiteral("--xml")}).state, 2);
    EXPECT_EQ(runCli({QStringLiteral("demo"), QStringLiteral("d"), QStringLiteral("--elementos"),
                      QStringLiteral("muchos")})
                  .state,
              2);
    EXPECT_EQ(runCli({QStringLiteral("importar"), QStringLiteral("solo-uno.mdb")}).state, 2);
    const CliOutput help = runCli({QStringLiteral("--help")});
    EXPECT_EQ(help.state, 0);
    EXPECT_TRUE(help.output.contains(QStringLiteral("procesar")));
    EXPECT_EQ(runCli({QStringLiteral("volcar"), QStringLiteral("/no/existe.bin")}).state, 1);
}

}  // namespace
}  // namespace vexilo::testing
