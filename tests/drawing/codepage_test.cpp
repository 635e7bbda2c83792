#include "drawing/codepage.h"

#include <gtest/gtest.h>

namespace vexilo::drawing {
namespace {

TEST(CodePage, EveryByteRoundTripsThroughUnicode) {
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<std::uint8_t>(b);
        EXPECT_EQ(codepage::fromUnicode(codepage::toUnicode(byte).unicode()), byte) << "byte " << b;
    }
    std::uint8_t all[256];
    for (int b = 0; b < 256; ++b) {
        all[b] = static_cast<std::uint8_t>(b);
    }
    const QByteArray back = codepage::encode(codepage::decode(all, 256));
    ASSERT_EQ(back.size(), 256);
    for (int b = 0; b < 256; ++b) {
        EXPECT_EQ(static_cast<std::uint8_t>(back[b]), b);
    }
}

TEST(CodePage, SpanishLettersAndTheWindowsOnlySignsHaveTheirBytes) {
    struct Case {
        char16_t unicode;
        std::uint8_t byte;
    };
    const Case cases[] = {{u'ñ', 0xF1}, {u'Ñ', 0xD1}, {u'á', 0xE1}, {u'É', 0xC9}, {u'ü', 0xFC},
                          {u'º', 0xBA}, {u'ª', 0xAA}, {u'¿', 0xBF}, {u'¡', 0xA1}, {u'€', 0x80},
                          {u'…', 0x85}, {u'Œ', 0x8C}, {u'Ÿ', 0x9F}, {u'“', 0x93}, {u'–', 0x96}};
    for (const Case& c : cases) {
        EXPECT_EQ(codepage::toUnicode(c.byte), QChar(c.unicode)) << int(c.byte);
        EXPECT_EQ(codepage::fromUnicode(c.unicode), c.byte) << int(c.byte);
    }
}

TEST(CodePage, CharactersWithoutAByteBecomeOneQuestionMarkEach) {
    // A Latin-1 C1 control that Windows-1252 uses for a letter has no byte of its own.
    EXPECT_EQ(codepage::fromUnicode(0x0080), '?');
    EXPECT_EQ(codepage::fromUnicode(0x0100), '?');  // Ā
    EXPECT_EQ(codepage::encode(QString::fromUtf8("a中b")), QByteArray("a?b"));
    // A character outside the basic plane is one character, so one byte, not two.
    EXPECT_EQ(codepage::encode(QString::fromUtf8("x\xF0\x9F\x97\xBAy")), QByteArray("x?y"));
}

TEST(CodePage, DecodeKeepsNulAndLength) {
    const std::uint8_t bytes[] = {'H', 0, 0xD1, ' '};
    const QString text = codepage::decode(bytes, 4);
    ASSERT_EQ(text.size(), 4);
    EXPECT_EQ(text, QString(QStringLiteral("H")) + QChar(0) + QChar(u'Ñ') + QLatin1Char(' '));
}

}  // namespace
}  // namespace vexilo::drawing
