#include "desktop/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace vexilo::desktop {

bool installSpanishTranslations(QCoreApplication& application) {
    auto* translator = new QTranslator(&application);  // lives as long as the application
    if (!translator->load(QStringLiteral("qtbase_es"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}  // namespace vexilo::desktop
