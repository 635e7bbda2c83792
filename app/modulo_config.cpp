#include "app/modulo_config.h"

#include "platform/services.h"

namespace vexilo::app {

void LeeConfiguracion(const QString& clave, QString& valor) {
    valor = platform::services().settings().read(QLatin1String(kAplicacion), QLatin1String(kSeccion), clave);
}

void GuardaConfiguracion(const QString& clave, const QString& valor) {
    platform::services().settings().write(QLatin1String(kAplicacion), QLatin1String(kSeccion), clave, valor);
}

}  // namespace vexilo::app
