#include "desktop/translations.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <memory>

namespace vexilo::desktop {
namespace {

TEST(TranslationsTest, QtOwnTextsComeOutInSpanish) {
    const QString catalogue =
        QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_es.qm");
    if (!QFileInfo::exists(catalogue)) {
        GTEST_SKIP() << "Qt's Spanish catalogue is not installed (Debian package qt6-translations-l10n): "
                     << catalogue.toStdString();
    }
    int argc = 1;
    char name[] = "test_desktop";
    char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> own;
    if (!QCoreApplication::instance()) {
        own = std::make_unique<QCoreApplication>(argc, argv);
    }
    // Untranslated, Qt answers with the source text: these checks fail without the catalogue.
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    ASSERT_TRUE(installSpanishTranslations(*QCoreApplication::instance()));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancelar"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Open"), QStringLiteral("Abrir"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("&Sí"));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Ver en:"));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "File &name:"),
              QStringLiteral("&Nombre de fichero:"));
}

}  // namespace
}  // namespace vexilo::desktop
