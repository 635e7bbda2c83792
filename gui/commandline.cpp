#include "gui/commandline.h"

#include <QtGlobal>

#include "app/version.h"
#include "core/exitstatus.h"

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

const QString kDisplayAdvice = QStringLiteral(
    "Abra vexilo desde una sesión gráfica (X o Wayland); desde otro equipo, conéctese con \"ssh -X\"\n"
    "para que DISPLAY indique la pantalla de ese equipo. Sin ventana, el mismo trabajo lo hace vexilo-cli\n"
    "(vexilo-cli --help). Los mensajes de Qt sobre la pantalla se ven con VEXILO_QT_MESSAGES=1.\n");

}  // namespace

std::optional<CommandLineAnswer> printedAnswer(const QStringList& arguments) {
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            return CommandLineAnswer{core::exitstatus::kDone, kUsage, false};
        }
        if (argument == QLatin1String("--version")) {
            return CommandLineAnswer{core::exitstatus::kDone, app::versionText(kProgram) + QLatin1Char('\n'),
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

DisplayEnvironment DisplayEnvironment::current() {
    return {qEnvironmentVariable("DISPLAY"), qEnvironmentVariable("WAYLAND_DISPLAY"),
            qEnvironmentVariable("QT_QPA_PLATFORM"), qEnvironmentVariableIntValue("VEXILO_QT_MESSAGES") == 1};
}

std::optional<CommandLineAnswer> noDisplayAnswer(const QStringList& arguments, const DisplayEnvironment& e) {
    const bool platformChosen = !e.platform.isEmpty() || arguments.contains(QLatin1String("-platform")) ||
                                arguments.contains(QLatin1String("--platform"));
    if (platformChosen || e.qtMessages || !e.display.isEmpty() || !e.waylandDisplay.isEmpty()) {
        return std::nullopt;
    }
    return CommandLineAnswer{core::exitstatus::kEnded, noDisplayText(QString()), true};
}

QString noDisplayText(const QString& display) {
    const QString reason =
        display.isEmpty()
            ? QStringLiteral("no hay ninguna pantalla gráfica (DISPLAY y WAYLAND_DISPLAY están vacías)")
            : QStringLiteral("no se puede conectar con la pantalla gráfica '%1' (DISPLAY)").arg(display);
    return kProgram + QStringLiteral(": no se puede abrir la ventana: ") + reason + QStringLiteral(".\n") +
           kDisplayAdvice;
}

}  // namespace vexilo::gui
