#include "app/fileselection.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

#include "app/modulo_config.h"
#include "core/progress.h"
#include "desktop/services.h"
#include "engines/dao.h"
#include "engines/databasename.h"

namespace vexilo::app {

namespace {

// The first filter, the one selected, shows every database the job can open or import, so that a
// folder of SQLite databases never looks empty; each kind on its own follows, then every file, for a
// database whose name has none of these endings.
const QString kDatabaseFilter = QStringLiteral(
    "BdD Access o SQLite (*.mdb *.accdb *.sqlite *.db)|*.mdb;*.accdb;*.sqlite;*.db|"
    "BdD Access (*.mdb *.accdb)|*.mdb;*.accdb|BdD SQLite (*.sqlite *.db)|*.sqlite;*.db|"
    "Todos los ficheros (*)|*");
const QString kDatabaseTitle = QStringLiteral("Seleccinar BdD Access a tratar");
const QString kDrawingFilter = QStringLiteral("Bin Kora (*.bin)|*.bin");
const QString kDrawingTitle = QStringLiteral("Seleccinar Fichero Bin (Kora) a tratar");

// A typed server is tried with this limit, in seconds, on each of the connections that opening it may
// make (libpq takes 2 as its least): a server that does not answer is refused within seconds.
constexpr int kServerCheckSeconds = 3;

// The engine's limit for connecting to a server, changed for the life of a scope.
class ConnectLimit {
  public:
    explicit ConnectLimit(int seconds) : m_usual(engines::DBEngine::instance().connectTimeoutSeconds()) {
        engines::DBEngine::instance().setConnectTimeoutSeconds(seconds);
    }
    ~ConnectLimit() { engines::DBEngine::instance().setConnectTimeoutSeconds(m_usual); }
    ConnectLimit(const ConnectLimit&) = delete;
    ConnectLimit& operator=(const ConnectLimit&) = delete;

  private:
    int m_usual;
};

desktop::OpenFileResult chooseFile(const char* clave, const QString& filter, const QString& title) {
    QString folder;
    LeeConfiguracion(QLatin1String(clave), folder);
    return desktop::services().showOpen({folder, filter, 1, title});
}

void clearStatusArea(core::Display& display) {
    display.setText(core::Control::Text1, QStringLiteral("0"));
    display.setText(core::Control::Label5, QString());
    display.setFinishedVisible(false);
    display.setText(core::Control::Text5, QString());
    display.setText(core::Control::Text4, QString());
    display.setProgress(0);
}

}  // namespace

QString folderOf(const QString& fullName, const QString& bareName) {
    const qsizetype pos = bareName.isEmpty() ? -1 : fullName.indexOf(bareName, 0, Qt::CaseSensitive);
    return pos < 0 ? QString() : fullName.left(pos);
}

QString outputBase(const QString& drawingName) {
    // Only a real extension is cut: a dot and three characters, none of them a folder separator.
    // Any other name keeps every character, so "sub/ab" never becomes "su" in the parent folder.
    const qsizetype n = drawingName.size();
    const bool extension = n >= 4 && drawingName.at(n - 4) == QLatin1Char('.') &&
                           !drawingName.right(3).contains(QLatin1Char('/')) &&
                           !drawingName.right(3).contains(QLatin1Char('\\'));
    return extension ? drawingName.left(n - 4) : drawingName;
}

void refuseOutputOverInputs(const QString& output, const QString& bin, const QString& dbPath) {
    const QString destination =
        engines::isServerDatabase(output) ? QString() : QFileInfo(output).canonicalFilePath();
    if (destination.isEmpty()) {
        return;  // nothing there yet: it cannot be the input or the database
    }
    for (const QString& input : {bin, dbPath}) {
        if (!input.isEmpty() && !engines::isServerDatabase(input) &&
            QFileInfo(input).canonicalFilePath() == destination) {
            throw core::Stop(
                QStringLiteral("El fichero de salida %1 es el mismo fichero que %2: no se borra ni se "
                               "escribe. Cambie el nombre del fichero de dibujo o de la base de datos.")
                    .arg(QDir::toNativeSeparators(output), QDir::toNativeSeparators(input)));
        }
    }
}

QString outputNameOf(const QString& drawingName) {
    return outputBase(drawingName) + QStringLiteral("_s.bin");
}

void Command2_Click(Session& session, core::Display& display) {
    clearStatusArea(display);
    const auto chosen = chooseFile(kLastDatabaseFolder, kDatabaseFilter, kDatabaseTitle);
    if (chosen.fileName.isEmpty()) {
        return;  // cancelled: the previous choice stands as it was
    }
    session.NombreBdD = chosen.fileName;
    session.DirectorioBdD = folderOf(session.NombreBdD, chosen.fileTitle);
    display.setText(core::Control::Text2, session.NombreBdD);
}

void Command3_Click(Session& session, core::Display& display) {
    const auto chosen = chooseFile(kLastDrawingFolder, kDrawingFilter, kDrawingTitle);
    if (chosen.fileName.isEmpty()) {
        return;  // cancelled: nothing is derived again and nothing is deleted
    }
    session.NombreBin = chosen.fileName;
    session.DirectorioBin = folderOf(session.NombreBin, chosen.fileTitle);
    session.NombreBinSalida = outputNameOf(session.NombreBin);
    refuseOutputOverInputs(session.NombreBinSalida, session.NombreBin, session.NombreBdD);
    auto& services = desktop::services();
    if (services.fileExists(session.NombreBinSalida)) {
        services.deleteFile(session.NombreBinSalida);
    }
    display.setText(core::Control::Text3, session.NombreBin);
    display.setText(core::Control::Label8, session.NombreBinSalida);
}

void Form_Unload(const Session& session) {
    const bool server = engines::isServerDatabase(session.NombreBdD);
    // A session on a server database chose no database file: the folder the dialog opens in stays as the
    // last session left it.
    if (!server || !session.DirectorioBdD.isEmpty()) {
        GuardaConfiguracion(QLatin1String(kLastDatabaseFolder), session.DirectorioBdD);
    }
    GuardaConfiguracion(QLatin1String(kLastDrawingFolder), session.DirectorioBin);
    GuardaConfiguracion(QLatin1String(kLastServerDatabase),
                        server ? engines::shownDatabaseName(session.NombreBdD) : QString());
}

QString typedDatabaseName(const QString& typed) {
    const QString name = typed.trimmed();
    if (name.isEmpty() || engines::isServerDatabase(name)) {
        return name;
    }
    return QFileInfo(name).absoluteFilePath();
}

QString typedDatabaseRefusal(const QString& name) {
    if (engines::isServerDatabase(name)) {
        return engines::databaseNameRefusal(name);
    }
    const QFileInfo info(name);
    const QString shown = QDir::toNativeSeparators(name);
    if (!info.exists()) {
        return QStringLiteral("No existe el fichero de base de datos '%1'.").arg(shown);
    }
    if (!info.isFile()) {
        return QStringLiteral("'%1' es una carpeta, no un fichero de base de datos.").arg(shown);
    }
    return {};
}

QString serverDatabaseRefusal(const QString& name) {
    if (!engines::isServerDatabase(name)) {
        return {};
    }
    try {
        const ConnectLimit limit(kServerCheckSeconds);
        engines::DBEngine::instance().Workspaces(0).OpenDatabase(name)->Close();
    } catch (const core::RunError& e) {
        return e.description();
    }
    return {};
}

QString checkingMessage(const QString& name) {
    return QStringLiteral("Comprobando la conexión con la base de datos '%1'...")
        .arg(engines::shownDatabaseName(name));
}

void chooseTypedDatabase(Session& session, core::Display& display, const QString& name) {
    clearStatusArea(display);
    session.NombreBdD = name;
    if (!engines::isServerDatabase(name)) {
        session.DirectorioBdD = folderOf(name, QFileInfo(name).fileName());
    }
    display.setText(core::Control::Text2, engines::shownDatabaseName(name));
}

void restoreServerDatabase(Session& session, core::Display& display) {
    QString remembered;
    LeeConfiguracion(QLatin1String(kLastServerDatabase), remembered);
    if (engines::isServerDatabase(remembered)) {
        session.NombreBdD = remembered;
        display.setText(core::Control::Text2, engines::shownDatabaseName(remembered));
    }
}

}  // namespace vexilo::app
