#include "app/fileselection.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

#include "app/modulo_config.h"
#include "core/progress.h"
#include "platform/databasename.h"
#include "platform/postgres.h"
#include "platform/services.h"

namespace vexilo::app {

namespace {

// The first filter, the one selected, shows every database the job can open, so that a folder of
// SQLite databases never looks empty; each kind on its own follows.
const QString kFiltroBdD = QStringLiteral(
    "BdD Access o SQLite (*.mdb *.sqlite *.db)|*.mdb;*.sqlite;*.db|"
    "BdD Access (*.mdb)|*.mdb|BdD SQLite (*.sqlite *.db)|*.sqlite;*.db");
const QString kTituloBdD = QStringLiteral("Seleccinar BdD Access a tratar");
const QString kFiltroBin = QStringLiteral("Bin Kora (*.bin)|*.bin");
const QString kTituloBin = QStringLiteral("Seleccinar Fichero Bin (Kora) a tratar");

platform::OpenFileResult eligeFichero(const char* clave, const QString& filtro, const QString& titulo) {
    QString carpeta;
    LeeConfiguracion(QLatin1String(clave), carpeta);
    return platform::services().showOpen({carpeta, filtro, 1, titulo});
}

void limpiaZonaDeEstado(core::RunState& f) {
    f.display->setText(core::Control::Text1, QStringLiteral("0"));
    f.display->setText(core::Control::Label5, QString());
    f.display->setFinishedVisible(false);
    f.display->setText(core::Control::Text5, QString());
    f.display->setText(core::Control::Text4, QString());
    core::BarraDeProgreso(f, 0.0);
}

}  // namespace

QString carpetaDe(const QString& nombreCompleto, const QString& nombreSimple) {
    const qsizetype pos =
        nombreSimple.isEmpty() ? -1 : nombreCompleto.indexOf(nombreSimple, 0, Qt::CaseSensitive);
    return pos < 0 ? QString() : nombreCompleto.left(pos);
}

QString baseDeSalida(const QString& nombreBin) {
    // Only a real extension is cut: a dot and three characters, none of them a folder separator.
    // Any other name keeps every character, so "sub/ab" never becomes "su" in the parent folder.
    const qsizetype n = nombreBin.size();
    const bool extension = n >= 4 && nombreBin.at(n - 4) == QLatin1Char('.') &&
                           !nombreBin.right(3).contains(QLatin1Char('/')) &&
                           !nombreBin.right(3).contains(QLatin1Char('\\'));
    return extension ? nombreBin.left(n - 4) : nombreBin;
}

void rechazaSalidaSobreEntradas(const QString& salida, const QString& bin, const QString& bdd) {
    const QString destino =
        platform::isServerDatabase(salida) ? QString() : QFileInfo(salida).canonicalFilePath();
    if (destino.isEmpty()) {
        return;  // nothing there yet: it cannot be the input or the database
    }
    for (const QString& entrada : {bin, bdd}) {
        if (!entrada.isEmpty() && !platform::isServerDatabase(entrada) &&
            QFileInfo(entrada).canonicalFilePath() == destino) {
            throw platform::Stop(
                QStringLiteral("El fichero de salida %1 es el mismo fichero que %2: no se borra ni se "
                               "escribe. Cambie el nombre del fichero de dibujo o de la base de datos.")
                    .arg(QDir::toNativeSeparators(salida), QDir::toNativeSeparators(entrada)));
        }
    }
}

QString nombreDeSalida(const QString& nombreBin) {
    return baseDeSalida(nombreBin) + QStringLiteral("_s.bin");
}

void Command2_Click(core::RunState& f) {
    limpiaZonaDeEstado(f);
    const auto elegido = eligeFichero(kUltimoDirectorio, kFiltroBdD, kTituloBdD);
    if (elegido.fileName.isEmpty()) {
        return;  // cancelled: the previous choice stands as it was
    }
    f.NombreBdD = elegido.fileName;
    f.DirectorioBdD = carpetaDe(f.NombreBdD, elegido.fileTitle);
    f.display->setText(core::Control::Text2, f.NombreBdD);
}

void Command3_Click(core::RunState& f) {
    const auto elegido = eligeFichero(kUltimoDirectorioBin, kFiltroBin, kTituloBin);
    if (elegido.fileName.isEmpty()) {
        return;  // cancelled: nothing is derived again and nothing is deleted
    }
    f.NombreBin = elegido.fileName;
    f.DirectorioBin = carpetaDe(f.NombreBin, elegido.fileTitle);
    f.NombreBinSalida = nombreDeSalida(f.NombreBin);
    rechazaSalidaSobreEntradas(f.NombreBinSalida, f.NombreBin, f.NombreBdD);
    auto& servicios = platform::services();
    if (servicios.fileExists(f.NombreBinSalida)) {
        servicios.deleteFile(f.NombreBinSalida);
    }
    f.display->setText(core::Control::Text3, f.NombreBin);
    f.display->setText(core::Control::Label8, f.NombreBinSalida);
}

void Form_Unload(core::RunState& f) {
    GuardaConfiguracion(QLatin1String(kUltimoDirectorio), f.DirectorioBdD);
    GuardaConfiguracion(QLatin1String(kUltimoDirectorioBin), f.DirectorioBin);
    const bool servidor = platform::isServerDatabase(f.NombreBdD);
    GuardaConfiguracion(QLatin1String(kUltimaBdDServidor),
                        servidor ? platform::shownDatabaseName(f.NombreBdD) : QString());
}

QString nombreDeBdDEscrito(const QString& escrito) {
    const QString nombre = escrito.trimmed();
    if (nombre.isEmpty() || platform::isServerDatabase(nombre)) {
        return nombre;
    }
    return QFileInfo(nombre).absoluteFilePath();
}

QString rechazoDeBdDEscrita(const QString& nombre) {
    if (platform::isServerDatabase(nombre)) {
        try {
            platform::parseServerUri(nombre);
        } catch (const platform::RunError& e) {
            return e.description();
        }
        return {};
    }
    const QFileInfo info(nombre);
    const QString mostrado = QDir::toNativeSeparators(nombre);
    if (!info.exists()) {
        return QStringLiteral("No existe el fichero de base de datos '%1'.").arg(mostrado);
    }
    if (!info.isFile()) {
        return QStringLiteral("'%1' es una carpeta, no un fichero de base de datos.").arg(mostrado);
    }
    return {};
}

void eligeBdDEscrita(core::RunState& f, const QString& nombre) {
    limpiaZonaDeEstado(f);
    f.NombreBdD = nombre;
    if (!platform::isServerDatabase(nombre)) {
        f.DirectorioBdD = carpetaDe(nombre, QFileInfo(nombre).fileName());
    }
    f.display->setText(core::Control::Text2, platform::shownDatabaseName(nombre));
}

void recuperaBdDServidor(core::RunState& f) {
    QString recordada;
    LeeConfiguracion(QLatin1String(kUltimaBdDServidor), recordada);
    if (platform::isServerDatabase(recordada)) {
        f.NombreBdD = recordada;
        f.display->setText(core::Control::Text2, platform::shownDatabaseName(recordada));
    }
}

}  // namespace vexilo::app
