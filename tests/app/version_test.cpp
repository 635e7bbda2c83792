#include "app/version.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QStringList>

namespace vexilo::app {
namespace {

TEST(Version, NamesTheProgramItsVersionAndTheLibrariesItRunsOn) {
    const QStringList lines = versionText(QStringLiteral("vexilo-cli")).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("vexilo-cli ") + versionNumber());
    EXPECT_TRUE(lines[1].contains(QStringLiteral("Qt ") + QString::fromLatin1(qVersion())))
        << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains(QRegularExpression(QStringLiteral("SQLite 3\\.\\d+\\.\\d+"))))
        << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains(QRegularExpression(QStringLiteral("libpq \\d+\\.\\d+"))))
        << lines[1].toStdString();
}

TEST(Version, NumberIsTheBuildsDottedVersion) {
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^\\d+\\.\\d+(\\.\\d+)?$")).match(versionNumber()).hasMatch())
        << versionNumber().toStdString();
}

}  // namespace
}  // namespace vexilo::app
