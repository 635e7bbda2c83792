#include "core/jsontext.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <random>

namespace vexilo::core {
namespace {

QByteArray quoted(const QString& s) {
    QByteArray out("x");  // appended to what is there
    appendJsonString(out, s);
    return out.mid(1);
}

QString parsedBack(const QByteArray& quotedText) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson("[" + quotedText + "]", &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << quotedText.toStdString();
    return doc.array().at(0).toString();
}

TEST(JsonText, EscapesQuotesBackslashesAndControlCharactersOnly) {
    EXPECT_EQ(quoted(QStringLiteral("a\"b\\c")), QByteArray(R"("a\"b\\c")"));
    EXPECT_EQ(quoted(QString(QChar(0)) + QChar(13) + QChar(31) + QStringLiteral("/ ")),
              QByteArray(R"("\u0000\u000d\u001f/ ")"));
    EXPECT_EQ(quoted(QStringLiteral("Peña € 地図")), QStringLiteral("\"Peña € 地図\"").toUtf8());
}

TEST(JsonText, SurrogatePairsBecomeOneCharacterAndLoneHalvesTheReplacementCharacter) {
    EXPECT_EQ(quoted(QStringLiteral("\U0001F5FA")), QByteArray("\"\xF0\x9F\x97\xBA\""));
    const QString lone = QString(QChar(0xD83D)) + QStringLiteral("x") + QChar(0xDDFA);
    EXPECT_EQ(parsedBack(quoted(lone)), QString(QChar(0xFFFD)) + QStringLiteral("x") + QChar(0xFFFD));
}

TEST(JsonText, AnyWellFormedTextReadsBackAsItWas) {
    std::mt19937 gen(7);
    const char16_t pool[] = {u'a', u'"', u'\\', 0, 9, 10, 13, 0x7f, 0xe9, 0x20ac, 0xffff};
    for (int round = 0; round < 200; ++round) {
        QString s;
        for (unsigned n = gen() % 20; n > 0; --n) {
            if (gen() % 8 == 0) {
                s += QStringLiteral("\U0001F5FA");
            } else {
                s += QChar(pool[gen() % std::size(pool)]);
            }
        }
        EXPECT_EQ(parsedBack(quoted(s)), s);
    }
}

}  // namespace
}  // namespace vexilo::core
