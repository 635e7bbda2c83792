#include "app/modulo_config.h"

#include "desktop/services.h"

namespace vexilo::app {

void LeeConfiguracion(const QString& clave, QString& valor) {
    valor = desktop::services().settings().read(QLatin1String(kApplication), QLatin1String(kSection), clave);
}

void GuardaConfiguracion(const QString& clave, const QString& valor) {
    desktop::services().settings().write(QLatin1String(kApplication), QLatin1String(kSection), clave, valor);
}

}  // namespace vexilo::app
