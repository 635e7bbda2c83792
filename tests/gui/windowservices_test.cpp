#include "gui/windowservices.h"

#include <gtest/gtest.h>

namespace vexilo::gui {
namespace {

TEST(WindowServicesTest, DialogFiltersBecomeQtFiltersWithTheChosenOneSelected) {
    QString selected;
    EXPECT_EQ(qtFilter(QStringLiteral("BdD Access (*.mdb)|*.mdb|BdD SQLite (*.sqlite *.db)|*.sqlite;*.db"), 1,
                       &selected),
              QStringLiteral("BdD Access (*.mdb);;BdD SQLite (*.sqlite *.db)"));
    EXPECT_EQ(selected, QStringLiteral("BdD Access (*.mdb)"));

    // A description without its patterns gets them, ';' turned into the blank Qt separates them with.
    EXPECT_EQ(qtFilter(QStringLiteral("Dibujos|*.bin;*.dgn"), 1, &selected),
              QStringLiteral("Dibujos (*.bin *.dgn)"));
    EXPECT_EQ(selected, QStringLiteral("Dibujos (*.bin *.dgn)"));

    // An index outside the list selects nothing.
    selected.clear();
    qtFilter(QStringLiteral("Bin Kora (*.bin)|*.bin"), 2, &selected);
    EXPECT_TRUE(selected.isEmpty());
}

}  // namespace
}  // namespace vexilo::gui
