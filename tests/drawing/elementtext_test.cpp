#include "drawing/elementtext.h"

#include <gtest/gtest.h>

#include "core/normalisation.h"

namespace vexilo::drawing {
namespace {

std::string bytesOf(const Record12& r) {
    return std::string(r.begin(), r.end());
}

TEST(ElementText, ChunkIsCutOrPaddedWithSpacesInTheFileCodePage) {
    EXPECT_EQ(bytesOf(textChunk(QStringLiteral("AÑO"))), "A\xD1O         ");
    EXPECT_EQ(bytesOf(textChunk(QStringLiteral("ABCDEFGHIJKLMNO"))), "ABCDEFGHIJKL");
    EXPECT_EQ(bytesOf(textChunk(QString())), std::string(12, ' '));
    // A NUL-filled piece keeps its NULs: the padding only covers what is missing.
    EXPECT_EQ(bytesOf(textChunk(QStringLiteral("AB") + QString(10, QChar(0)))),
              std::string("AB") + std::string(10, '\0'));
    // Characters outside the code page take one byte each, so the cut stays at 12 characters.
    EXPECT_EQ(bytesOf(textChunk(QString::fromUtf8("中中中中中中中中中中中中中"))), std::string(12, '?'));
    // A character beyond 16 bits is two code units and one byte: the one after it still fits.
    EXPECT_EQ(bytesOf(textChunk(QString::fromUtf8("ABCDEFGHIJ\xF0\x9F\x97\xBAKL"))), "ABCDEFGHIJ?K");
}

TEST(ElementText, CodeFieldTakesSevenCharacters) {
    CabeceraElemento h;
    storeCode(h, QStringLiteral("12"));
    EXPECT_EQ(codeText(h), QStringLiteral("12     "));
    storeCode(h, QStringLiteral("123456789"));
    EXPECT_EQ(codeText(h), QStringLiteral("1234567"));
    QString padded = QStringLiteral(" 45 ");
    core::completa_codigo(padded);
    storeCode(h, padded);
    EXPECT_EQ(std::string(h.codigo.begin(), h.codigo.end()), std::string("45\0\0\0\0\0", 7));
}

TEST(ElementText, TextOfTheChunksIsJoinedAndDecodedWithItsNuls) {
    Element e;
    EXPECT_TRUE(chunksText(e).isEmpty());
    e.chunks = {textChunk(QStringLiteral("CAMINO DE LA")), textChunk(QStringLiteral(" PEÑA") + QChar(0))};
    QString t = chunksText(e);
    EXPECT_EQ(t.size(), 24);
    core::limpia_texto(t);
    EXPECT_EQ(t, QStringLiteral("CAMINO DE LA PEÑA"));
}

}  // namespace
}  // namespace vexilo::drawing
