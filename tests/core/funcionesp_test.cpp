#include "core/funcionesp.h"

#include <gtest/gtest.h>

#include <random>

namespace vexilo::core {
namespace {

const QChar kNul(0);
QString nuls(int n) {
    return QString(n, kNul);
}

QString chunk(QString t) {
    core::completa_trozo(t);
    return t;
}

TEST(CompletaTrozo, ReplacesTrailingBlanksByNulFillUpToTwelve) {
    EXPECT_EQ(chunk(QStringLiteral("ABC")), QStringLiteral("ABC") + nuls(9));
    EXPECT_EQ(chunk(QStringLiteral("ABC   ")), QStringLiteral("ABC") + nuls(9));
    EXPECT_EQ(chunk(QStringLiteral("  ABC")), QStringLiteral("  ABC") + nuls(7));
    EXPECT_EQ(chunk(QString()), nuls(12));
    EXPECT_EQ(chunk(QStringLiteral("    ")), nuls(12));
    // Only code 32 is a blank: a trailing tab stays.
    EXPECT_EQ(chunk(QStringLiteral("A\t")), QStringLiteral("A\t") + nuls(10));
    // Twelve or more characters: trailing blanks go, nothing is cut or filled.
    EXPECT_EQ(chunk(QStringLiteral("ABCDEFGHIJKL  ")), QStringLiteral("ABCDEFGHIJKL"));
    EXPECT_EQ(chunk(QStringLiteral("ABCDEFGHIJKLMNO")), QStringLiteral("ABCDEFGHIJKLMNO"));
    EXPECT_EQ(chunk(QStringLiteral("ABCDEFGHIJK ")), QStringLiteral("ABCDEFGHIJK") + kNul);
}

struct Chunking {
    std::vector<QString> chunks;
    std::int32_t numtrozos = -1;
};

Chunking piece(const QString& texto) {
    Chunking r;
    r.chunks = {QStringLiteral("stale"), QStringLiteral("stale")};  // out parameter is replaced whole
    core::parte_en_trozos(texto, r.chunks, r.numtrozos);
    return r;
}

TEST(ParteEnTrozos, CutsIntoTwelveCharacterPiecesWithAFilledLastOne) {
    const QString thirty = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ12  ");
    Chunking r = piece(thirty);
    ASSERT_EQ(r.numtrozos, 3);
    ASSERT_EQ(r.chunks.size(), 4u);
    EXPECT_TRUE(r.chunks[0].isEmpty());
    EXPECT_EQ(r.chunks[1], QStringLiteral("ABCDEFGHIJKL"));
    EXPECT_EQ(r.chunks[2], QStringLiteral("MNOPQRSTUVWX"));
    EXPECT_EQ(r.chunks[3], QStringLiteral("YZ12") + nuls(8));

    r = piece(QStringLiteral("ABCDEFGHIJKL"));
    ASSERT_EQ(r.numtrozos, 2);
    EXPECT_EQ(r.chunks[1], QStringLiteral("ABCDEFGHIJKL"));
    EXPECT_EQ(r.chunks[2], nuls(12));

    r = piece(QString(24, QLatin1Char('x')));
    ASSERT_EQ(r.numtrozos, 3);
    EXPECT_EQ(r.chunks[3], nuls(12));

    r = piece(QString());
    ASSERT_EQ(r.numtrozos, 1);
    ASSERT_EQ(r.chunks.size(), 2u);
    EXPECT_TRUE(r.chunks[0].isEmpty());
    EXPECT_EQ(r.chunks[1], nuls(12));

    // A blank at the end of a full piece is kept; only the last piece loses its trailing blanks.
    r = piece(QStringLiteral("CALLE MAYOR DE  "));
    ASSERT_EQ(r.numtrozos, 2);
    EXPECT_EQ(r.chunks[1], QStringLiteral("CALLE MAYOR "));
    EXPECT_EQ(r.chunks[2], QStringLiteral("DE") + nuls(10));
}

TEST(ParteEnTrozos, PiecesRebuildTheTextOnGeneratedTexts) {
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> length(0, 80);
    std::uniform_int_distribution<int> letter(0, 3);
    const QChar letters[] = {QLatin1Char(' '), QLatin1Char('a'), QChar(0xF1), QLatin1Char('\t')};
    for (int i = 0; i < 2000; ++i) {
        QString texto;
        for (int n = length(rng); n > 0; --n) {
            texto.append(letters[letter(rng)]);
        }
        const Chunking r = piece(texto);
        ASSERT_EQ(r.numtrozos, texto.size() / 12 + 1);
        ASSERT_EQ(static_cast<std::int32_t>(r.chunks.size()), r.numtrozos + 1);
        QString joined;
        for (std::int32_t k = 1; k <= r.numtrozos; ++k) {
            ASSERT_EQ(r.chunks[k].size(), 12);
            joined += r.chunks[k];
        }
        // The text comes back up to its trailing blanks, followed only by NUL fill.
        QString expected = texto;
        while (expected.endsWith(QLatin1Char(' ')) && expected.size() > (texto.size() / 12) * 12) {
            expected.chop(1);
        }
        ASSERT_TRUE(joined.startsWith(expected));
        ASSERT_EQ(joined.mid(expected.size()), nuls(joined.size() - expected.size()));
    }
}

}  // namespace
}  // namespace vexilo::core
