#include "desktop/services.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTime>
#include <cstdio>
#include <cstdlib>

namespace vexilo::desktop {

namespace {

Services* g_current = nullptr;

Services& headless() {
    static HeadlessServices instance;
    return instance;
}

std::unique_ptr<QSettings> openSettings(const QString& iniFile, const QString& application) {
    if (iniFile.isEmpty()) {
        return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, application,
                                           application);
    }
    return std::make_unique<QSettings>(iniFile, QSettings::IniFormat);
}

QString settingsKey(const QString& section, const QString& key) {
    return section + QLatin1Char('/') + key;
}

}  // namespace

QString QSettingsStore::read(const QString& application, const QString& section, const QString& key) {
    auto s = openSettings(m_iniFile, application);
    if (s->status() != QSettings::NoError) {
        throw core::RunError(core::errnum::kFileAccess,
                             QStringLiteral("No se puede leer la configuración de %1").arg(application));
    }
    return s->value(settingsKey(section, key), QString()).toString();
}

void QSettingsStore::write(const QString& application, const QString& section, const QString& key,
                           const QString& value) {
    auto s = openSettings(m_iniFile, application);
    s->setValue(settingsKey(section, key), value);
    s->sync();
    if (s->status() != QSettings::NoError || !s->isWritable()) {
        throw core::RunError(core::errnum::kFileAccess,
                             QStringLiteral("No se puede guardar la configuración en %1").arg(s->fileName()));
    }
}

bool Services::question(const QString&, Answer) {
    return false;
}

bool Services::fileExists(const QString& path) {
    QFileInfo info(path);
    return info.isFile() && !info.isHidden();
}

void Services::deleteFile(const QString& path) {
    QFile file(path);
    if (!file.remove()) {
        throw core::RunError(
            core::errnum::kFileAccess,
            QStringLiteral("No se puede borrar el fichero %1 : %2").arg(path, file.errorString()));
    }
}

OpenFileResult HeadlessServices::showOpen(const OpenFileRequest&) {
    return {};
}

void HeadlessServices::messageBox(const QString& text, core::Icon, const QString& detail) {
    QString shown = detail.isEmpty() ? text : text + QChar(13) + detail;
    shown.replace(QChar(13), QChar(10));
    std::fprintf(stderr, "%s\n", shown.toLocal8Bit().constData());
}

void HeadlessServices::end(int code) {
    std::exit(code);
}

Services& services() {
    return g_current ? *g_current : headless();
}

Services* installServices(Services* s) {
    Services* previous = g_current;
    g_current = s;
    return previous;
}

}  // namespace vexilo::desktop
