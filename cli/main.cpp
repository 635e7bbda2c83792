// vexilo-cli: the job without the window, plus the tools around it (drawing dump, sample data, Access
// import). Spanish subcommands; each has --help.
#include <QCoreApplication>
#include <QStringList>
#include <functional>
#include <map>

#include "cli/consola.h"
#include "cli/ordenes.h"
#include "platform/translations.h"

namespace {

using vexilo::cli::salida;

const QString kUso = QStringLiteral(
    "Uso: vexilo-cli ORDEN [argumentos]   (vexilo-cli ORDEN --help para los detalles)\n"
    "Órdenes:\n"
    "  procesar --bdd BD --bin FICHERO [--bin FICHERO2 ...] [--modo no|si|texto] [-q]\n"
    "           el trabajo de \"Procesar\": un fichero de salida FICHERO_s.bin por cada --bin\n"
    "  volcar FICHERO [--json]\n"
    "           lista los elementos de un fichero de dibujo\n"
    "  demo CARPETA [--elementos N] [--semilla S] [--bdd BD]\n"
    "           escribe una muestra (base de datos y dibujo) en CARPETA\n"
    "  importar ORIGEN DESTINO [--forzar]\n"
    "           copia una base de datos (Access, SQLite o postgresql://...) a un fichero SQLite nuevo\n"
    "           o a una base de datos PostgreSQL\n"
    "Estado de salida: 0 correcto, 1 parada o error, 2 error de uso.\n");

}  // namespace

namespace vexilo::cli {

int errorDeUso(const QString& mensaje, const QString& uso) {
    errores() << "vexilo-cli: " << mensaje << "\n\n" << uso;
    errores().flush();
    return core::exitstatus::kUsage;
}

}  // namespace vexilo::cli

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    vexilo::platform::installSpanishTranslations(app);
    QStringList args = QCoreApplication::arguments().mid(1);
    const std::map<QString, std::function<int(const QStringList&)>> ordenes{
        {QStringLiteral("procesar"), vexilo::cli::ordenProcesar},
        {QStringLiteral("volcar"), vexilo::cli::ordenVolcar},
        {QStringLiteral("demo"), vexilo::cli::ordenDemo},
        {QStringLiteral("importar"), vexilo::cli::ordenImportar},
    };
    if (args.isEmpty()) {
        return vexilo::cli::errorDeUso(QStringLiteral("falta la orden"), kUso);
    }
    const QString orden = args.takeFirst();
    if (orden == QLatin1String("--help") || orden == QLatin1String("-h") || orden == QLatin1String("ayuda")) {
        salida() << kUso;
        salida().flush();
        return vexilo::core::exitstatus::kDone;
    }
    auto it = ordenes.find(orden);
    if (it == ordenes.end()) {
        return vexilo::cli::errorDeUso(QStringLiteral("orden desconocida: %1").arg(orden), kUso);
    }
    const int estado = it->second(args);
    salida().flush();
    return estado;
}
