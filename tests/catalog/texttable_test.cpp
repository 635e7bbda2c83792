// The flat text table under the attribute index: every text added is found again with its own value,
// through every growth of the table, and a text never added is not found.

#include <gtest/gtest.h>

#include <QString>
#include <string>

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

TEST(TextTable, ThousandsOfTextsAreFoundWithTheirValuesThroughEveryGrowth) {
    std::pmr::monotonic_buffer_resource arena;
    TextTable<Counted> table(&arena);
    constexpr int kTexts = 5000;  // far past the first table of slots: several growths
    for (int i = 0; i < kTexts; ++i) {
        Counted& c = table.findOrAdd(textOf(i));
        EXPECT_EQ(c.n, 0);
        c.n = i + 1;
    }
    ASSERT_EQ(table.size(), static_cast<std::size_t>(kTexts));
    for (int i = 0; i < kTexts; ++i) {
        const Counted* c = std::as_const(table).find(textOf(i));
        ASSERT_NE(c, nullptr) << i;
        EXPECT_EQ(c->n, i + 1);
    }
    EXPECT_EQ(table.find(u"CALLE"), nullptr);
    EXPECT_EQ(table.find(textOf(kTexts)), nullptr);
}

TEST(TextTable, AddingAKnownTextGivesTheSameValueAndTheEmptyTextIsAKeyLikeAnyOther) {
    std::pmr::monotonic_buffer_resource arena;
    TextTable<Counted> table(&arena);
    table.reserve(3);
    table.findOrAdd(u"MAYOR").n = 7;
    table.findOrAdd(u"").n = 9;
    EXPECT_EQ(table.findOrAdd(u"MAYOR").n, 7);
    EXPECT_EQ(table.findOrAdd(u"").n, 9);
    EXPECT_EQ(table.find(u"mayor"), nullptr);  // the caller upper-cases: texts are compared exactly
    EXPECT_EQ(table.size(), 2u);
}

}  // namespace
}  // namespace vexilo::catalog
