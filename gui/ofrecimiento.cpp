#include "gui/ofrecimiento.h"

#include <QDir>
#include <QFileInfo>

#include "import/accessimport.h"
#include "platform/services.h"

namespace vexilo::gui {
namespace {

constexpr QChar kCr(13);  // a line break inside a message box

void avisaDestino(const QString& destino, const QString& antes) {
    platform::services().messageBox(
        antes + kCr + QStringLiteral("Los cambios del proceso se guardarán en ese fichero nuevo:") + kCr +
            destino + kCr + QStringLiteral("La base de datos Access no se modifica."),
        platform::Icon::None);
}

QString importa(const QString& ruta, const QString& destino, bool forzar) {
    try {
        const importacion::Resultado r = importacion::importaAccess(ruta, destino, forzar);
        avisaDestino(destino,
                     QStringLiteral("Importadas %1 tablas de la base de datos Access.").arg(r.tablas.size()));
        return destino;
    } catch (const importacion::ErrorImportacion& e) {
        platform::services().messageBox(QStringLiteral("No se ha podido importar la base de datos Access:") +
                                            kCr + QString(e.mensaje()).replace(QChar('\n'), kCr),
                                        platform::Icon::Critical);
        return {};
    }
}

}  // namespace

QString ofreceImportarAccess(const QString& ruta) {
    if (ruta.isEmpty() || !importacion::esBaseDeDatosAccess(ruta)) {
        return ruta;
    }
    auto& servicios = platform::services();
    const QString destino = importacion::rutaImportada(ruta);
    if (QFileInfo::exists(destino)) {
        const bool otraVez = servicios.question(
            QStringLiteral("La base de datos elegida es un fichero Access y ya fue importada a:") + kCr +
            destino + kCr + QStringLiteral("¿Importarla de nuevo, sustituyendo ese fichero?") + kCr +
            QStringLiteral("(No: se usa el fichero ya importado)"));
        if (otraVez) {
            return importa(ruta, destino, true);
        }
        avisaDestino(destino, QStringLiteral("Se usa la base de datos ya importada."));
        return destino;
    }
    const bool acepta = servicios.question(
        QStringLiteral("La base de datos elegida es un fichero Access:") + kCr + ruta + kCr +
        QStringLiteral("¿Importarla a una base de datos nueva y trabajar sobre ella?") + kCr + destino);
    if (!acepta) {
        return {};
    }
    return importa(ruta, destino, false);
}

}  // namespace vexilo::gui
