#include "drawing/elementtext.h"

#include <gtest/gtest.h>

#include "drawing/normalisation.h"

namespace vexilo::drawing {
namespace {

std::string bytesOf(const Record12& r) {
    return std::string(r.begin(), r.end());
}

TEST(ElementText, ChunkIsCutOrPaddedWithSpacesInTheFileCodePage) {
    EXPECT_EQ(bytesOf(trozoDeTexto(QStringLiteral("AÑO"))), "A\xD1O         ");
    EXPECT_EQ(bytesOf(trozoDeTexto(QStringLiteral("ABCDEFGHIJKLMNO"))), "ABCDEFGHIJKL");
    EXPECT_EQ(bytesOf(trozoDeTexto(QString())), std::string(12, ' '));
    // A NUL-filled piece keeps its NULs: the padding only covers what is missing.
    EXPECT_EQ(bytesOf(trozoDeTexto(QStringLiteral("AB") + QString(10, QChar(0)))),
              std::string("AB") + std::string(10, '\0'));
    // Characters outside the code page take one byte each, so the cut stays at 12 characters.
    EXPECT_EQ(bytesOf(trozoDeTexto(QString::fromUtf8("中中中中中中中中中中中中中"))), std::string(12, '?'));
}

TEST(ElementText, CodeFieldTakesSevenCharacters) {
    CabeceraElemento h;
    guardaCodigo(h, QStringLiteral("12"));
    EXPECT_EQ(codigoComoTexto(h), QStringLiteral("12     "));
    guardaCodigo(h, QStringLiteral("123456789"));
    EXPECT_EQ(codigoComoTexto(h), QStringLiteral("1234567"));
    QString padded = QStringLiteral(" 45 ");
    completa_codigo(padded);
    guardaCodigo(h, padded);
    EXPECT_EQ(std::string(h.codigo.begin(), h.codigo.end()), std::string("45\0\0\0\0\0", 7));
}

TEST(ElementText, TextOfTheChunksIsJoinedAndDecodedWithItsNuls) {
    Elemento e;
    EXPECT_TRUE(textoDeTrozos(e).isEmpty());
    e.trozos = {trozoDeTexto(QStringLiteral("CAMINO DE LA")),
                trozoDeTexto(QStringLiteral(" PEÑA") + QChar(0))};
    QString t = textoDeTrozos(e);
    EXPECT_EQ(t.size(), 24);
    limpia_texto(t);
    EXPECT_EQ(t, QStringLiteral("CAMINO DE LA PEÑA"));
}

}  // namespace
}  // namespace vexilo::drawing
