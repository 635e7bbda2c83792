// vexilo-cli: the job without the window, plus the tools around it (drawing dump, sample data, Access
// import). Spanish subcommands; each has --help.
#include <QCoreApplication>
#include <QStringList>
#include <functional>
#include <map>

#include "cli/commands.h"
#include "cli/console.h"
#include "core/version.h"
#include "platform/qtmessages.h"
#include "platform/translations.h"

namespace {

using vexilo::cli::output;

const QString kUsage = QStringLiteral(
    "Uso: vexilo-cli ORDEN [argumentos]   (vexilo-cli ORDEN --help para los detalles)\n"
    "     vexilo-cli --version\n"
    "Órdenes:\n"
    "  procesar --bdd BD --bin FICHERO [--bin FICHERO2 ...] [--modo no|si|texto] [--espera SEGUNDOS]\n"
    "           [--informe INFORME] [--simular] [-q]\n"
    "           el trabajo de \"Procesar\": un fichero de salida FICHERO_s.bin por cada --bin\n"
    "  volcar FICHERO [--json]\n"
    "           lista los elementos de un fichero de dibujo\n"
    "  demo CARPETA [--elementos N] [--textos N] [--tablas N] [--registros N] [--semilla S] [--bdd BD]\n"
    "           escribe una muestra (base de datos y dibujo) en CARPETA\n"
    "  importar ORIGEN DESTINO [--forzar]\n"
    "           copia una base de datos (Access, SQLite o postgresql://...) a un fichero SQLite nuevo\n"
    "           o a una base de datos PostgreSQL\n"
    "Estado de salida: 0 correcto, 1 parada o error, 2 error de uso.\n");

}  // namespace

namespace vexilo::cli {

int usageError(const QString& message, const QString& usage) {
    errors() << "vexilo-cli: " << message << "\n\n" << usage;
    errors().flush();
    return core::exitstatus::kUsage;
}

}  // namespace vexilo::cli

int main(int argc, char** argv) {
    vexilo::platform::keepQtMessagesQuiet();
    QCoreApplication app(argc, argv);
    vexilo::platform::installSpanishTranslations(app);
    QStringList args = QCoreApplication::arguments().mid(1);
    const std::map<QString, std::function<int(const QStringList&)>> commands{
        {QStringLiteral("procesar"), vexilo::cli::processCommand},
        {QStringLiteral("volcar"), vexilo::cli::dumpCommand},
        {QStringLiteral("demo"), vexilo::cli::demoCommand},
        {QStringLiteral("importar"), vexilo::cli::importCommand},
    };
    if (args.isEmpty()) {
        return vexilo::cli::usageError(QStringLiteral("falta la orden"), kUsage);
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("ayuda")) {
        output() << kUsage;
        output().flush();
        return vexilo::core::exitstatus::kDone;
    }
    if (command == QLatin1String("--version")) {
        output() << vexilo::core::versionText(QStringLiteral("vexilo-cli")) << '\n';
        output().flush();
        return vexilo::core::exitstatus::kDone;
    }
    auto it = commands.find(command);
    if (it == commands.end()) {
        return vexilo::cli::usageError(QStringLiteral("orden desconocida: %1").arg(command), kUsage);
    }
    const int state = it->second(args);
    output().flush();
    return state;
}
