// The window's program on the command line: "--help" and "--version" print and end before any window
// opens; an argument the toolkit did not take is a usage error. And the icon the desktop shows.
#include "gui/commandline.h"

#include <gtest/gtest.h>

#include "core/exitstatus.h"
#include "gui/appicon.h"
#include "gui/form1.h"
#include "support/testservices.h"

namespace vexilo::gui {
namespace {

TEST(CommandLine, HelpAndVersionPrintAndEndWithoutAWindow) {
    for (const char* help : {"--help", "-h"}) {
        const auto a = printedAnswer({QString::fromUtf8(help)});
        ASSERT_TRUE(a) << help;
        EXPECT_EQ(a->exitStatus, core::exitstatus::kDone);
        EXPECT_FALSE(a->onErrors);
        EXPECT_TRUE(a->text.startsWith(QStringLiteral("Uso: vexilo "))) << a->text.toStdString();
        EXPECT_TRUE(a->text.contains(QStringLiteral("--version")));
        EXPECT_TRUE(a->text.endsWith(QLatin1Char('\n')));
    }
    const auto version = printedAnswer({QStringLiteral("-style"), QStringLiteral("fusion"),
                                        QStringLiteral("--version"), QStringLiteral("--help")});
    ASSERT_TRUE(version);
    EXPECT_EQ(version->exitStatus, core::exitstatus::kDone);
    EXPECT_TRUE(version->text.startsWith(QStringLiteral("vexilo "))) << version->text.toStdString();
    EXPECT_TRUE(version->text.contains(QStringLiteral("\nQt ")));

    EXPECT_FALSE(printedAnswer({}));
    EXPECT_FALSE(printedAnswer({QStringLiteral("-platform"), QStringLiteral("offscreen")}));
}

TEST(CommandLine, WhatTheToolkitLeavesIsAUsageError) {
    EXPECT_FALSE(leftoverAnswer({}));
    const auto refused = leftoverAnswer({QStringLiteral("--bdd"), QStringLiteral("x.sqlite")});
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->exitStatus, core::exitstatus::kUsage);
    EXPECT_TRUE(refused->onErrors);
    EXPECT_TRUE(refused->text.startsWith(QStringLiteral("vexilo: argumento desconocido: --bdd\n")));
    EXPECT_TRUE(refused->text.contains(QStringLiteral("Uso: vexilo ")));
}

TEST(AppIcon, TheWindowCarriesTheIconInEverySize) {
    const QIcon icon = applicationIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
        EXPECT_FALSE(icon.pixmap(size).isNull()) << size;
    }
    testing::TestServices services;
    platform::ScopedServices installed(services);
    Form1 form;
    EXPECT_EQ(form.windowIcon().availableSizes(), icon.availableSizes());
}

}  // namespace
}  // namespace vexilo::gui
