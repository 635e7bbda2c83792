// The numbering answer of the attribute index as records are renumbered and added: it must always be
// what a scan of the table would give, the highest number below 60000 that some record still carries.

#include <gtest/gtest.h>

#include <QString>
#include <QVariant>
#include <vector>

#include "catalog/attributeindex.h"

namespace vexilo::catalog {
namespace {

// Records numbered `mslinks` in natural order, each with a text and no code.
std::vector<engines::Database::Row> recordsNumbered(const std::vector<qint64>& mslinks) {
    std::vector<engines::Database::Row> rows;
    for (qint64 n : mslinks) {
        rows.push_back({static_cast<engines::RowId>(rows.size() + 1),
                        {QVariant(n), QVariant(QStringLiteral("CALLE %1").arg(n)), QVariant(), QVariant()}});
    }
    return rows;
}

TEST(AttributeIndexNumbering, FollowsRenumberingsAndAdditions) {
    AttributeIndex idx;
    idx.load(recordsNumbered({5, 9, 70000, 9}));
    EXPECT_EQ(idx.highestBelowLimit(), 9);

    idx.renumbered(9, 3);  // one of the two records numbered 9: 9 is still carried
    EXPECT_EQ(idx.highestBelowLimit(), 9);
    idx.renumbered(9, 4);  // the last one
    EXPECT_EQ(idx.highestBelowLimit(), 5);

    idx.renumbered(5, 80000);  // moved past the limit: no longer counted
    EXPECT_EQ(idx.highestBelowLimit(), 4);

    ASSERT_TRUE(idx.added(10, 59999, QStringLiteral("NUEVA"), QStringLiteral("7")));
    EXPECT_EQ(idx.highestBelowLimit(), 59999);
    ASSERT_TRUE(idx.added(11, 60000, std::nullopt, QStringLiteral("7")));  // at the limit: not counted
    EXPECT_EQ(idx.highestBelowLimit(), 59999);
}

TEST(AttributeIndexNumbering, NothingBelowTheLimitGivesNoNumber) {
    AttributeIndex idx;
    idx.load(recordsNumbered({60000, 61000}));
    EXPECT_FALSE(idx.highestBelowLimit().has_value());
    idx.renumbered(60000, 12);
    EXPECT_EQ(idx.highestBelowLimit(), 12);
    idx.renumbered(12, 60001);
    EXPECT_FALSE(idx.highestBelowLimit().has_value());
}

}  // namespace
}  // namespace vexilo::catalog
