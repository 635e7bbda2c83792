#include "core/funcionesp.h"

#include <gtest/gtest.h>

#include <random>

namespace vexilo::core {
namespace {

const QChar kNul(0);
QString nuls(int n) {
    return QString(n, kNul);
}

QString trozo(QString t) {
    core::completa_trozo(t);
    return t;
}

TEST(CompletaTrozo, ReplacesTrailingBlanksByNulFillUpToTwelve) {
    EXPECT_EQ(trozo(QStringLiteral("ABC")), QStringLiteral("ABC") + nuls(9));
    EXPECT_EQ(trozo(QStringLiteral("ABC   ")), QStringLiteral("ABC") + nuls(9));
    EXPECT_EQ(trozo(QStringLiteral("  ABC")), QStringLiteral("  ABC") + nuls(7));
    EXPECT_EQ(trozo(QString()), nuls(12));
    EXPECT_EQ(trozo(QStringLiteral("    ")), nuls(12));
    // Only code 32 is a blank: a trailing tab stays.
    EXPECT_EQ(trozo(QStringLiteral("A\t")), QStringLiteral("A\t") + nuls(10));
    // Twelve or more characters: trailing blanks go, nothing is cut or filled.
    EXPECT_EQ(trozo(QStringLiteral("ABCDEFGHIJKL  ")), QStringLiteral("ABCDEFGHIJKL"));
    EXPECT_EQ(trozo(QStringLiteral("ABCDEFGHIJKLMNO")), QStringLiteral("ABCDEFGHIJKLMNO"));
    EXPECT_EQ(trozo(QStringLiteral("ABCDEFGHIJK ")), QStringLiteral("ABCDEFGHIJK") + kNul);
}

struct Troceado {
    std::vector<QString> trozos;
    std::int32_t numtrozos = -1;
};

Troceado parte(const QString& texto) {
    Troceado r;
    r.trozos = {QStringLiteral("stale"), QStringLiteral("stale")};  // out parameter is replaced whole
    core::parte_en_trozos(texto, r.trozos, r.numtrozos);
    return r;
}

TEST(ParteEnTrozos, CutsIntoTwelveCharacterPiecesWithAFilledLastOne) {
    const QString thirty = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ12  ");
    Troceado r = parte(thirty);
    ASSERT_EQ(r.numtrozos, 3);
    ASSERT_EQ(r.trozos.size(), 4u);
    EXPECT_TRUE(r.trozos[0].isEmpty());
    EXPECT_EQ(r.trozos[1], QStringLiteral("ABCDEFGHIJKL"));
    EXPECT_EQ(r.trozos[2], QStringLiteral("MNOPQRSTUVWX"));
    EXPECT_EQ(r.trozos[3], QStringLiteral("YZ12") + nuls(8));

    r = parte(QStringLiteral("ABCDEFGHIJKL"));
    ASSERT_EQ(r.numtrozos, 2);
    EXPECT_EQ(r.trozos[1], QStringLiteral("ABCDEFGHIJKL"));
    EXPECT_EQ(r.trozos[2], nuls(12));

    r = parte(QString(24, QLatin1Char('x')));
    ASSERT_EQ(r.numtrozos, 3);
    EXPECT_EQ(r.trozos[3], nuls(12));

    r = parte(QString());
    ASSERT_EQ(r.numtrozos, 1);
    ASSERT_EQ(r.trozos.size(), 2u);
    EXPECT_TRUE(r.trozos[0].isEmpty());
    EXPECT_EQ(r.trozos[1], nuls(12));

    // A blank at the end of a full piece is kept; only the last piece loses its trailing blanks.
    r = parte(QStringLiteral("CALLE MAYOR DE  "));
    ASSERT_EQ(r.numtrozos, 2);
    EXPECT_EQ(r.trozos[1], QStringLiteral("CALLE MAYOR "));
    EXPECT_EQ(r.trozos[2], QStringLiteral("DE") + nuls(10));
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
        const Troceado r = parte(texto);
        ASSERT_EQ(r.numtrozos, texto.size() / 12 + 1);
        ASSERT_EQ(static_cast<std::int32_t>(r.trozos.size()), r.numtrozos + 1);
        QString joined;
        for (std::int32_t k = 1; k <= r.numtrozos; ++k) {
            ASSERT_EQ(r.trozos[k].size(), 12);
            joined += r.trozos[k];
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
