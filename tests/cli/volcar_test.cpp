// vexilo-cli volcar, run as a program: the listing of a sound file, of a damaged one, and usage errors.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "cli/cliproceso.h"
#include "support/elementbuilder.h"

namespace vexilo::testing {
namespace {

class Volcar : public ::testing::Test {
  protected:
    // T at 0 (96 bytes), C at 96 (72), dropped T at 168 (72), C at 240 (48).
    std::vector<ElementBuilder> elementos() const {
        return {ElementBuilder::t()
                    .codigoNul("123")
                    .textoUnicode(QStringLiteral("PEÑA ALTA"))
                    .enlace(5, 17)
                    .enlace(1, 99),
                ElementBuilder::c().registros(2).seed(2), ElementBuilder::tipo('T', ' ').texto("X").seed(3),
                ElementBuilder::c().seed(4)};
    }
    QString escribe(const char* nombre, const Bytes& b) const {
        const QString ruta = m_dir.filePath(QString::fromLatin1(nombre));
        writeFile(ruta, b);
        return ruta;
    }
    QTemporaryDir m_dir;
};

TEST_F(Volcar, ListsEveryElementWithItsOffsetCodeTextLinksAndTheTotals) {
    const SalidaCli s = ejecutaCli({QStringLiteral("volcar"), escribe("hoja.bin", concat(elementos()))});
    ASSERT_EQ(s.estado, 0) << s.errores.toStdString();
    const QStringList lineas = s.salida.split(QChar('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(lineas.size(), 4);
    EXPECT_TRUE(lineas[0].contains(QStringLiteral("codigo \"123\""))) << lineas[0].toStdString();
    EXPECT_TRUE(lineas[0].contains(QStringLiteral("texto \"PEÑA ALTA\"")));
    EXPECT_TRUE(lineas[0].contains(QStringLiteral("atr 5:17 1:99")));
    EXPECT_TRUE(lineas[0].contains(QStringLiteral("96 bytes")));
    EXPECT_TRUE(lineas[1].trimmed().startsWith(QStringLiteral("96  C  lleva")));
    EXPECT_TRUE(lineas[2].trimmed().startsWith(QStringLiteral("168  T  descartado")));
    EXPECT_TRUE(lineas[2].contains(QStringLiteral("72 bytes")));
    EXPECT_TRUE(lineas[3].trimmed().startsWith(QStringLiteral("240  C")));
    EXPECT_TRUE(s.salida.contains(QStringLiteral("C llevados : 2")));
    EXPECT_TRUE(s.salida.contains(QStringLiteral("T llevados : 1")));
    EXPECT_TRUE(s.salida.contains(QStringLiteral("T descartados : 1")));
}

TEST_F(Volcar, JsonCarriesTheSameFacts) {
    const SalidaCli s = ejecutaCli(
        {QStringLiteral("volcar"), escribe("hoja.bin", concat(elementos())), QStringLiteral("--json")});
    ASSERT_EQ(s.estado, 0) << s.errores.toStdString();
    QJsonParseError error;
    const QJsonObject doc = QJsonDocument::fromJson(s.salida.toUtf8(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    const QJsonArray el = doc[QStringLiteral("elementos")].toArray();
    ASSERT_EQ(el.size(), 4);
    const QJsonObject t = el[0].toObject();
    EXPECT_EQ(t[QStringLiteral("texto")].toString(), QStringLiteral("PEÑA ALTA"));
    EXPECT_EQ(t[QStringLiteral("tamano")].toInt(), 96);
    EXPECT_EQ(t[QStringLiteral("enlaces")].toArray()[0].toObject()[QStringLiteral("mslink")].toInt(), 17);
    EXPECT_FALSE(el[2].toObject()[QStringLiteral("llevado")].toBool());
    EXPECT_EQ(el[3].toObject()[QStringLiteral("desplazamiento")].toInt(), 240);
    const QJsonObject tot = doc[QStringLiteral("totales")].toObject();
    EXPECT_EQ(tot[QStringLiteral("llevados")].toObject()[QStringLiteral("C")].toInt(), 2);
    EXPECT_EQ(tot[QStringLiteral("bytes")].toInt(), 288);
    EXPECT_FALSE(doc.contains(QStringLiteral("error")));
}

TEST_F(Volcar, ADamagedFileIsListedUpToTheDamageThenItsOffsetAndReason) {
    auto e = elementos();
    e[2] = ElementBuilder::tipo('X', '=');  // a carried element of no known class at 168
    const SalidaCli s = ejecutaCli({QStringLiteral("volcar"), escribe("mala.bin", concat(e))});
    EXPECT_EQ(s.estado, 1);
    EXPECT_TRUE(s.salida.contains(QStringLiteral("texto \"PEÑA ALTA\"")));
    EXPECT_FALSE(s.salida.contains(QStringLiteral("  240  ")));
    EXPECT_TRUE(s.errores.contains(QStringLiteral("desplazamiento 168"))) << s.errores.toStdString();

    // Cut inside its second element: listed up to the first, damage at 96.
    Bytes corto = concat(std::vector<ElementBuilder>{elementos()[0], elementos()[1]});
    corto.resize(corto.size() - 5);
    const SalidaCli c =
        ejecutaCli({QStringLiteral("volcar"), escribe("corta.bin", corto), QStringLiteral("--json")});
    EXPECT_EQ(c.estado, 1);
    const QJsonObject doc = QJsonDocument::fromJson(c.salida.toUtf8()).object();
    EXPECT_EQ(doc[QStringLiteral("elementos")].toArray().size(), 1);
    EXPECT_EQ(doc[QStringLiteral("error")].toObject()[QStringLiteral("desplazamiento")].toInt(), 96);
    EXPECT_FALSE(doc[QStringLiteral("error")].toObject()[QStringLiteral("motivo")].toString().isEmpty());
}

TEST(VexiloCli, UsageErrorsExitWithTwoAndFailuresWithOne) {
    EXPECT_EQ(ejecutaCli({}).estado, 2);
    EXPECT_EQ(ejecutaCli({QStringLiteral("desconocida")}).estado, 2);
    EXPECT_EQ(ejecutaCli({QStringLiteral("volcar")}).estado, 2);
    EXPECT_EQ(ejecutaCli({QStringLiteral("volcar"), QStringLiteral("a"), QStringLiteral("--xml")}).estado, 2);
    EXPECT_EQ(ejecutaCli({QStringLiteral("demo"), QStringLiteral("d"), QStringLiteral("--elementos"),
                          QStringLiteral("muchos")})
                  .estado,
              2);
    EXPECT_EQ(ejecutaCli({QStringLiteral("importar"), QStringLiteral("solo-uno.mdb")}).estado, 2);
    const SalidaCli ayuda = ejecutaCli({QStringLiteral("--help")});
    EXPECT_EQ(ayuda.estado, 0);
    EXPECT_TRUE(ayuda.salida.contains(QStringLiteral("procesar")));
    EXPECT_EQ(ejecutaCli({QStringLiteral("volcar"), QStringLiteral("/no/existe.bin")}).estado, 1);
}

}  // namespace
}  // namespace vexilo::testing
