#include "core/normalisation.h"

#include <gtest/gtest.h>

#include <random>

namespace vexilo::core {
namespace {

const QChar kNul(0);

QString clean(QString t) {
    core::limpia_texto(t);
    return t;
}
QString withoutBlanks(QString t) {
    core::quitablancos(t);
    return t;
}
QString codigo(QString t) {
    core::completa_codigo(t);
    return t;
}
QString nuls(int n) {
    return QString(n, kNul);
}

TEST(LimpiaTexto, CutsAtTheFirstNulAndTrimsSpacesOnly) {
    EXPECT_EQ(clean(QStringLiteral("AB") + kNul + QStringLiteral("CD")), QStringLiteral("AB"));
    EXPECT_EQ(clean(QStringLiteral(" A") + kNul + QStringLiteral("CD ")), QStringLiteral("A"));
    EXPECT_EQ(clean(kNul + QStringLiteral("ABC")), QString());
    EXPECT_EQ(clean(QStringLiteral("    ")), QString());
    EXPECT_EQ(clean(QString()), QString());
    EXPECT_EQ(clean(QStringLiteral("  calle  mayor ")), QStringLiteral("calle  mayor"));
    // Tabs and other blanks are ordinary characters.
    EXPECT_EQ(clean(QStringLiteral("\tA\t ")), QStringLiteral("\tA\t"));
    EXPECT_EQ(clean(QString(QChar(0xA0)) + QStringLiteral("A")), QString(QChar(0xA0)) + QStringLiteral("A"));
}

TEST(Quitablancos, CollapsesRunsOfSpacesAndTrims) {
    EXPECT_EQ(withoutBlanks(QStringLiteral("  RIO   EBRO  ")), QStringLiteral("RIO EBRO"));
    EXPECT_EQ(withoutBlanks(QStringLiteral("A B")), QStringLiteral("A B"));
    EXPECT_EQ(withoutBlanks(QStringLiteral("     ")), QString());
    EXPECT_EQ(withoutBlanks(QStringLiteral("A\tB")), QStringLiteral("A\tB"));
    EXPECT_EQ(withoutBlanks(QStringLiteral("A \t  B")), QStringLiteral("A \t B"));
    EXPECT_EQ(withoutBlanks(QStringLiteral("\t ")), QStringLiteral("\t"));
    // NUL is not a space either.
    EXPECT_EQ(withoutBlanks(QStringLiteral("A  ") + kNul), QStringLiteral("A ") + kNul);
}

TEST(CompletaCodigo, TrimsAndPadsShortCodesWithNulToSeven) {
    EXPECT_EQ(codigo(QStringLiteral(" 12  ")), QStringLiteral("12") + nuls(5));
    EXPECT_EQ(codigo(QString()), nuls(7));
    EXPECT_EQ(codigo(QStringLiteral("       ")), nuls(7));
    EXPECT_EQ(codigo(QStringLiteral("123456")), QStringLiteral("123456") + kNul);
    EXPECT_EQ(codigo(QStringLiteral("1234567")), QStringLiteral("1234567"));
    EXPECT_EQ(codigo(QStringLiteral("12345678")), QStringLiteral("12345678"));
    EXPECT_EQ(codigo(QStringLiteral(" 12345678 ")), QStringLiteral("12345678"));
    // As read back from a file the system wrote: NUL is not trimmed, so nothing changes.
    EXPECT_EQ(codigo(QStringLiteral("123") + nuls(4)), QStringLiteral("123") + nuls(4));
    // Spaces after a NUL are trimmed; the NUL stays a character of the code and the rest is refilled.
    EXPECT_EQ(codigo(QStringLiteral("12") + kNul + QStringLiteral("  ")), QStringLiteral("12") + nuls(5));
}

// Texts drawn from the characters the three functions treat specially, and some they must not.
QString randomText(std::mt19937& rng) {
    static const QChar alphabet[] = {QLatin1Char(' '),  QLatin1Char(' '), QLatin1Char(' '), kNul,
                                     QLatin1Char('\t'), QLatin1Char('a'), QLatin1Char('Z'), QLatin1Char('7'),
                                     QChar(0xF1),       QChar(0xA0),      QChar(0x20AC)};
    std::uniform_int_distribution<int> length(0, 30);
    std::uniform_int_distribution<int> pick(0, std::size(alphabet) - 1);
    QString t;
    for (int n = length(rng); n > 0; --n) {
        t.append(alphabet[pick(rng)]);
    }
    return t;
}

TEST(Normalisation, EachFunctionIsIdempotentOnGeneratedTexts) {
    std::mt19937 rng(20261207);
    for (int i = 0; i < 5000; ++i) {
        const QString t = randomText(rng);
        const QString l = clean(t);
        const QString q = withoutBlanks(t);
        const QString c = codigo(t);
        ASSERT_EQ(clean(l), l) << qPrintable(t);
        ASSERT_EQ(withoutBlanks(q), q) << qPrintable(t);
        ASSERT_EQ(codigo(c), c) << qPrintable(t);
        // The shapes the callers rely on.
        ASSERT_FALSE(l.contains(kNul));
        ASSERT_FALSE(l.startsWith(QLatin1Char(' ')) || l.endsWith(QLatin1Char(' ')));
        ASSERT_TRUE(t.contains(l));
        ASSERT_FALSE(q.contains(QStringLiteral("  ")));
        ASSERT_EQ(q.count(QLatin1Char('\t')), t.count(QLatin1Char('\t')));
        ASSERT_GE(c.size(), 7);
        // The order the passes apply them in gives a text free of NUL and double spaces.
        const QString both = withoutBlanks(clean(t));
        ASSERT_EQ(clean(withoutBlanks(both)), both);
    }
}

}  // namespace
}  // namespace vexilo::core
