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

TEST(CommandLine, WithoutADisplayTheWindowSaysWhyAndWhatToDoInsteadOfStartingTheToolkit) {
    const DisplayEnvironment none;
    const auto refused = noDisplayAnswer({}, none);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->exitStatus, core::exitstatus::kEnded);
    EXPECT_TRUE(refused->onErrors);
    EXPECT_TRUE(
        refused->text.startsWith(QStringLiteral("vexilo: no se puede abrir la ventana: no hay ninguna "
                                                "pantalla gráfica")))
        << refused->text.toStdString();
    for (const char* advice : {"X o Wayland", "ssh -X", "DISPLAY", "vexilo-cli", "VEXILO_QT_MESSAGES=1"}) {
        EXPECT_TRUE(refused->text.contains(QString::fromUtf8(advice))) << advice;
    }
    EXPECT_TRUE(refused->text.endsWith(QLatin1Char('\n')));

    // Any display, or a platform chosen by hand, is left to the toolkit; so is everything when Qt's own
    // messages are asked for.
    DisplayEnvironment x;
    x.display = QStringLiteral(":0");
    DisplayEnvironment wayland;
    wayland.waylandDisplay = QStringLiteral("wayland-0");
    DisplayEnvironment offscreen;
    offscreen.platform = QStringLiteral("offscreen");
    DisplayEnvironment messages;
    messages.qtMessages = true;
    for (const DisplayEnvironment& e : {x, wayland, offscreen, messages}) {
        EXPECT_FALSE(noDisplayAnswer({}, e));
    }
    EXPECT_FALSE(noDisplayAnswer({QStringLiteral("-platform"), QStringLiteral("vnc")}, none));
}

TEST(CommandLine, ADisplayThatDoesNotAnswerIsNamedInTheReason) {
    const QString text = noDisplayText(QStringLiteral("localhost:10.0"));
    EXPECT_TRUE(
        text.startsWith(QStringLiteral("vexilo: no se puede abrir la ventana: no se puede conectar con "
                                       "la pantalla gráfica 'localhost:10.0' (DISPLAY).\n")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("ssh -X")));
}

TEST(AppIcon, TheWindowCarriesTheIconInEverySize) {
    const QIcon icon = applicationIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
        EXPECT_FALSE(icon.pixmap(size).isNull()) << size;
    }
    testing::TestServices services;
    desktop::ScopedServices installed(services);
    Form1 form;
    EXPECT_EQ(form.windowIcon().availableSizes(), icon.availableSizes());
}

}  // namespace
}  // namespace vexilo::gui
