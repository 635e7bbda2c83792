// vexilo-cli: the job without the window, plus the tools around it (drawing dump, sample data, Access
// import). Spanish subcommands; each has --help.
#include <QCoreApplication>
#include <QStringList>
#include <functional>
#include <map>

#include "app/version.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/usage.h"
#include "desktop/qtmessages.h"
#include "desktop/translations.h"

namespace {

using vexilo::cli::output;

}  // namespace

namespace vexilo::cli {

int usageError(const QString& message, const QString& usage) {
    errors() << "vexilo-cli: " << message << "\n\n" << usage;
    errors().flush();
    return core::exitstatus::kUsage;
}

}  // namespace vexilo::cli

int main(int argc, char** argv) {
    vexilo::desktop::keepQtMessagesQuiet();
    QCoreApplication app(argc, argv);
    vexilo::desktop::installSpanishTranslations(app);
    QStringList args = QCoreApplication::arguments().mid(1);
    const std::map<QString, std::function<int(const QStringList&)>> commands{
        {QStringLiteral("procesar"), vexilo::cli::processCommand},
        {QStringLiteral("volcar"), vexilo::cli::dumpCommand},
        {QStringLiteral("demo"), vexilo::cli::demoCommand},
        {QStringLiteral("importar"), vexilo::cli::importCommand},
    };
    if (args.isEmpty()) {
        return vexilo::cli::usageError(QStringLiteral("falta la orden"), vexilo::cli::programUsage());
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("ayuda")) {
        output() << vexilo::cli::programUsage();
        output().flush();
        return vexilo::core::exitstatus::kDone;
    }
    if (command == QLatin1String("--version")) {
        output() << vexilo::app::versionText(QStringLiteral("vexilo-cli")) << '\n';
        output().flush();
        return vexilo::core::exitstatus::kDone;
    }
    auto it = commands.find(command);
    if (it == commands.end()) {
        return vexilo::cli::usageError(QStringLiteral("orden desconocida: %1").arg(command),
                                       vexilo::cli::programUsage());
    }
    const int state = it->second(args);
    output().flush();
    return state;
}
