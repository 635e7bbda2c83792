// The flat tables under the attribute index and the rewrite's texts: every key added is found again
// with its own value, through every growth of the table, and a key never added is not found.

#include <gtest/gtest.h>

#include <QString>
#include <limits>
#include <string>
#include <vector>

#include "catalog/recordtexts.h"
#include "catalog/texttable.h"

namespace vexilo::catalog {
namespace {

struct Counted {
    using allocator_type = std::pmr::polymorphic_allocator<>;
    explicit Counted(const allocator_type& a) : label(a) {}
    std::pmr::u16string label;
    int n = 0;
};

std::u16string textOf(int i) {
    return u"CALLE " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
           std::u16string(reinterpret_cast<const char16_t*>(QString::number(i).utf16()));
}

// A short text (digits only), beside the longer ones: each entry keeps its own characters behind it.
std::u16string shortTextOf(int i) {
    return std::u16string(reinterpret_cast<const char16_t*>(QString::number(i).utf16()));
}

TEST(TextTable, ThousandsOfTextsAreFoundWithTheirValuesThroughEveryGrowth) {
    std::pmr::monotonic_buffer_resource arena;
    TextTable<Counted> table(&arena);
    constexpr int kTexts = 5000;  // far past the first table of slots and the first block of entries
    for (int i = 0; i < kTexts; ++i) {
        Counted& c = table.findOrAdd(textOf(i));
        EXPECT_EQ(c.n, 0);
        c.n = i + 1;
        table.findOrAdd(shortTextOf(i)).n = -(i + 1);
    }
    ASSERT_EQ(table.size(), static_cast<std::size_t>(2 * kTexts));
    for (int i = 0; i < kTexts; ++i) {
        const Counted* c = std::as_const(table).find(textOf(i));
        ASSERT_NE(c, nullptr) << i;
        EXPECT_EQ(c->n, i + 1);
        const Counted* s = std::as_const(table).find(shortTextOf(i));
        ASSERT_NE(s, nullptr) << i;
        EXPECT_EQ(s->n, -(i + 1));
    }
    EXPECT_EQ(table.find(u"CALLE"), nullptr);
    EXPECT_EQ(table.find(textOf(kTexts)), nullptr);
    EXPECT_EQ(table.find(u"CALLE B2"), nullptr);  // the start of "CALLE B27"
    EXPECT_EQ(table.find(shortTextOf(kTexts)), nullptr);
}

TEST(TextTable, AddingAKnownTextGivesTheSameValueAndTheEmptyTextIsAKeyLikeAnyOther) {
    std::pmr::monotonic_buffer_resource arena;
    TextTable<Counted> table(&arena);
    table.findOrAdd(u"MAYOR").n = 7;
    table.findOrAdd(u"").n = 9;
    EXPECT_EQ(table.findOrAdd(u"MAYOR").n, 7);
    EXPECT_EQ(table.findOrAdd(u"").n, 9);
    EXPECT_EQ(table.find(u"mayor"), nullptr);  // the caller upper-cases: texts are compared exactly
    EXPECT_EQ(table.size(), 2u);
}

// Record numbers of every sign, 0 and the extremes included, through many growths: the first text of
// a number stays, and a number never added is not found.
TEST(RecordTexts, EveryNumberKeepsItsFirstTextThroughEveryGrowth) {
    RecordTexts texts;
    std::vector<std::int32_t> numbers = {0, -1, 1, std::numeric_limits<std::int32_t>::min(),
                                         std::numeric_limits<std::int32_t>::max()};
    for (std::int32_t i = 2; i < 20000; ++i) {
        numbers.push_back(i * 7919);
        numbers.push_back(-i);
    }
    std::int64_t order = 0;
    for (const std::int32_t n : numbers) {
        const QString texto = QString::number(n);
        texts.add(n, n % 3 == 0 ? std::nullopt : std::optional<QStringView>(texto), ++order);
    }
    texts.add(0, QStringView(u"otro"), ++order);  // a second record of a number
    ASSERT_EQ(texts.size(), numbers.size());
    for (const std::int32_t n : numbers) {
        const std::optional<RecordText> t = texts.find(n);
        ASSERT_TRUE(t) << n;
        EXPECT_EQ(t->null, n % 3 == 0);
        EXPECT_EQ(t->texto.toString(), n % 3 == 0 ? QString() : QString::number(n));
    }
    texts.add(2, QStringView(u""), 0);  // an empty text is a text, not a Null
    ASSERT_TRUE(texts.find(2));
    EXPECT_FALSE(texts.find(2)->null);
    EXPECT_TRUE(texts.find(2)->texto.isEmpty());
    EXPECT_FALSE(texts.find(3));
    EXPECT_FALSE(texts.find(-20000));
}

// Texts of every length, one longer than a block of the pool (64 KB) and ones that fill a block to its
// last unit among them, read back whole; a view taken early still reads its text after many more are
// added; an empty text, the very first, is an empty text.
TEST(RecordTexts, TextsOfEveryLengthReadBackWholeAndEarlyViewsStay) {
    RecordTexts texts;
    texts.add(0, QStringView(u""), 0);
    const auto textOf = [](std::int32_t n) {
        const qsizetype length = n == 7 ? 100000 : n == 8 ? 32768 : (n * 37) % 5000;
        return QString(length, QChar(u'A' + n % 26));
    };
    for (std::int32_t n = 1; n < 200; ++n) {
        texts.add(n, QStringView(textOf(n)), n);
    }
    const QStringView early = texts.find(1)->texto;
    for (std::int32_t n = 200; n < 400; ++n) {
        texts.add(n, QStringView(textOf(n)), n);
    }
    EXPECT_EQ(early.toString(), textOf(1));
    ASSERT_TRUE(texts.find(0));
    EXPECT_FALSE(texts.find(0)->null);
    EXPECT_TRUE(texts.find(0)->texto.isEmpty());
    for (std::int32_t n = 1; n < 400; ++n) {
        ASSERT_EQ(texts.find(n)->texto.toString(), textOf(n)) << n;
    }
}

// A server hands a table's records over in any order: a shared number still reads as the record first
// in the stored order, whether its number indexes the array or the flat table, its text or Null, before
// and after the table grows.
TEST(RecordTexts, ASharedNumberReadsItsFirstRecordInStoredOrderWhateverOrderTheRecordsCome) {
    RecordTexts texts;
    for (const std::int32_t n : {7, -5, 300000000}) {
        texts.add(n, QStringView(u"tercero"), 30);
        texts.add(n, n == 7 ? std::nullopt : std::optional<QStringView>(u"primero"), 10);
        texts.add(n, QLatin1String("segundo"), 20);
    }
    for (std::int32_t n = 100; n < 5000; ++n) {  // growth of both
        texts.add(n, QStringView(u"x"), n);
        texts.add(-n, QStringView(u"y"), n);
    }
    texts.add(-5, QLatin1String("antes"), 1);
    texts.loaded();
    texts.add(7, QStringView(u"tarde"), 0);  // after loading: a number keeps its text
    texts.add(5000, QStringView(u"nuevo"), 0);
    EXPECT_EQ(texts.find(5000)->texto.toString(), QStringLiteral("nuevo"));
    EXPECT_TRUE(texts.find(7)->null);
    EXPECT_EQ(texts.find(-5)->texto.toString(), QStringLiteral("antes"));
    EXPECT_EQ(texts.find(300000000)->texto.toString(), QStringLiteral("primero"));
    EXPECT_EQ(texts.size(), 4u + 2u * 4900u);
}

// Records that come in stored order for a long while and then out of turn: each number's kept record is
// weighed by its own stored order, not by the last one met, wherever its number lies.
TEST(RecordTexts, ARecordOutOfTurnAfterManyInTurnIsWeighedByEachKeptOrder) {
    RecordTexts texts;
    for (std::int32_t n = 1; n <= 3000; ++n) {
        texts.add(n, QStringView(u"antes"), 10 * n);
        texts.add(n % 7 == 0 ? n : -n, QLatin1String("despues"), 10 * n + 1);  // a later one, or sparse
    }
    texts.add(1000, QStringView(u"primero"), 9995);  // before the kept record 1000 (order 10000)
    texts.add(2000, QStringView(u"tarde"), 20005);   // before the last met, after the kept (20000)
    texts.add(-2, QLatin1String("primero"), 15);     // before the kept record -2 (order 21)
    texts.add(-3, QLatin1String("tarde"), 9000);
    texts.loaded();
    EXPECT_EQ(texts.find(1000)->texto.toString(), QStringLiteral("primero"));
    EXPECT_EQ(texts.find(2000)->texto.toString(), QStringLiteral("antes"));
    EXPECT_EQ(texts.find(7)->texto.toString(), QStringLiteral("antes"));
    EXPECT_EQ(texts.find(-2)->texto.toString(), QStringLiteral("primero"));
    EXPECT_EQ(texts.find(-3)->texto.toString(), QStringLiteral("despues"));
    EXPECT_EQ(texts.size(), 3000u + 3000u - 3000u / 7);
}

}  // namespace
}  // namespace vexilo::catalog
