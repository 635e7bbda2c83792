#include "gui/importoffer.h"

#include <QDir>
#include <QFileInfo>

#include "desktop/services.h"
#include "import/accessimport.h"

namespace vexilo::gui {
namespace {

constexpr QChar kCr(13);  // a line break inside a message box

void announceDestination(const QString& destination, const QString& before) {
    desktop::services().messageBox(
        before + kCr + QStringLiteral("Los cambios del proceso se guardarán en ese fichero nuevo:") + kCr +
            destination + kCr + QStringLiteral("La base de datos Access no se modifica."),
        core::Icon::None);
}

QString runImport(const QString& path, const QString& destination, bool force, const ImportRun& run) {
    try {
        importer::Result r;
        const auto task = [&] { r = importer::importAccess(path, destination, force, run.wait); };
        if (run.offThread) {
            run.offThread(task);
        } else {
            task();
        }
        announceDestination(
            destination,
            QStringLiteral("Importadas %1 tablas de la base de datos Access.").arg(r.tables.size()));
        return destination;
    } catch (const importer::ImportError& e) {
        desktop::services().messageBox(QStringLiteral("No se ha podido importar la base de datos Access:") +
                                           kCr + QString(e.message()).replace(QChar('\n'), kCr),
                                       core::Icon::Critical);
        return {};
    } catch (const core::Interrupted&) {
        return {};  // given up at the user's word: nothing was written
    }
}

}  // namespace

QString askToImportAccess(const QString& path, const ImportRun& run) {
    if (path.isEmpty() || !importer::isAccessDatabase(path)) {
        return path;
    }
    auto& services = desktop::services();
    const QString destination = importer::importedPath(path);
    if (QFileInfo::exists(destination)) {
        const bool again = services.question(
            QStringLiteral("La base de datos elegida es un fichero Access y ya fue importada a:") + kCr +
                destination + kCr + QStringLiteral("¿Importarla de nuevo, sustituyendo ese fichero?") + kCr +
                QStringLiteral("(No: se usa el fichero ya importado)"),
            desktop::Answer::No);  // one Return must never replace a copy that holds a day's work
        if (again) {
            return runImport(path, destination, true, run);
        }
        announceDestination(destination, QStringLiteral("Se usa la base de datos ya importada."));
        return destination;
    }
    const bool accepts = services.question(
        QStringLiteral("La base de datos elegida es un fichero Access:") + kCr + path + kCr +
        QStringLiteral("¿Importarla a una base de datos nueva y trabajar sobre ella?") + kCr + destination);
    if (!accepts) {
        return {};
    }
    return runImport(path, destination, false, run);
}

}  // namespace vexilo::gui
