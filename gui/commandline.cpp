#include "gui/commandline.h"

#include "core/exitstatus.h"
#include "core/version.h"

namespace vexilo::gui {

namespace {

const QString kProgram = QStringLiteral("vexilo");

const QString kUsage = QStringLiteral(
    "Uso: vexilo [--help | --version]\n"
    "Abre la ventana: elija la base de datos con el primer \"...\" y el fichero de dibujo (.bin) con\n"
    "el segundo, elija el modo y pulse \"Procesar\". El dibujo nuevo se escribe junto al de entrada,\n"
    "con \"_s\" añadido a su nombre.\n"
    "  -h, --help     muestra esta ayuda y termina\n"
    "  --version      muestra la versión y termina\n"
    "Sin ventana, el mismo trabajo y las herramientas de alrededor: vexilo-cli --help\n");

}  // namespace

std::optional<CommandLineAnswer> printedAnswer(const QStringList& arguments) {
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            return CommandLineAnswer{core::exitstatus::kDone, kUsage, false};
        }
        if (argument == QLatin1String("--version")) {
            return CommandLineAnswer{core::exitstatus::kDone, core::versionText(kProgram) + QLatin1Char('\n'),
                                     false};
        }
    }
    return std::nullopt;
}

std::optional<CommandLineAnswer> leftoverAnswer(const QStringList& leftover) {
    if (leftover.isEmpty()) {
        return std::nullopt;
    }
    return CommandLineAnswer{core::exitstatus::kUsage,
                             kProgram + QStringLiteral(": argumento desconocido: ") + leftover.constFirst() +
                                 QStringLiteral("\n\n") + kUsage,
                             true};
}

}  // namespace vexilo::gui
