// vexilo-cli procesar: the job of "Procesar" without the window, through the same run driver.
#include "app/fileselection.h"
#include "app/rundriver.h"
#include "cli/argumentos.h"
#include "cli/consola.h"
#include "cli/ordenes.h"
#include "cli/pantallaconsola.h"
#include "core/runstate.h"
#include "import/accessimport.h"
#include "platform/services.h"

namespace vexilo::cli {
namespace {

const QString kUso = QStringLiteral(
    "Uso: vexilo-cli procesar --bdd BD --bin FICHERO [--bin FICHERO2 ...] [--modo no|si|texto]\n"
    "                         [--espera SEGUNDOS] [-q]\n"
    "Hace el trabajo de \"Procesar\" sobre cada fichero de dibujo, en orden, con la misma base de datos:\n"
    "escribe FICHERO_s.bin al lado (borrando uno anterior), actualiza la base de datos y CONTROLPROCESO.\n"
    "  --modo no      asigna los textos sin mantener las asignaciones gráficas (por defecto)\n"
    "  --modo si      asigna los textos manteniendo las asignaciones gráficas\n"
    "  --modo texto   modifica los textos del dibujo con los de la base de datos\n"
    "  --espera N     si otro proceso está trabajando con la base de datos, espera a que termine como\n"
    "                 mucho N segundos (600) y después se trabaja sobre sus resultados; pasado ese\n"
    "                 tiempo no se hace nada y el estado de salida es 1\n"
    "  -q             sin la línea de progreso\n"
    "Los mensajes salen por la salida de errores y no esperan respuesta. Estado de salida: 0 correcto,\n"
    "1 tras una parada o un error (los ficheros siguientes no se procesan), 2 error de uso.\n");

app::Modo modoDe(const QString& texto) {
    if (texto == QLatin1String("no")) {
        return app::Modo::No;
    }
    if (texto == QLatin1String("si") || texto == QStringLiteral("sí")) {
        return app::Modo::Si;
    }
    if (texto == QLatin1String("texto")) {
        return app::Modo::ModificarTexto;
    }
    throw ErrorUso(QStringLiteral("--modo espera no, si o texto"));
}

void resumen(const core::RunState& f) {
    salida() << "Creado el fichero : " << f.NombreBinSalida << '\n'
             << "Textos Procesados : " << f.TextosProcesados << '\n';
    if (!f.report.empty()) {
        salida() << comoLineas(f.report.text()) << '\n';
    }
    salida().flush();
}

// One job; false when it stopped or failed (already reported).
bool procesaUno(core::RunState& f, PantallaConsola& pantalla, const QString& bin, app::Modo modo,
                const app::RunOptions& opciones) {
    f.NombreBin = bin;
    f.NombreBinSalida = app::nombreDeSalida(bin);
    try {
        // As when the drawing is chosen in the window: an old output of that name goes first, unless
        // it is the drawing or the database itself.
        app::rechazaSalidaSobreEntradas(f.NombreBinSalida, bin, f.NombreBdD);
        auto& servicios = platform::services();
        if (servicios.fileExists(f.NombreBinSalida)) {
            servicios.deleteFile(f.NombreBinSalida);
        }
    } catch (...) {
        escribeError(core::present(core::currentFailure()).message);
        return false;
    }
    pantalla.empiezaTrabajo();
    const core::RunOutcome r = app::Command1_Click(f, modo, opciones);
    pantalla.terminaTrabajo(r.kind == core::RunOutcome::Kind::Finished);
    if (r.kind == core::RunOutcome::Kind::Finished) {
        resumen(f);
        return true;
    }
    if (r.kind != core::RunOutcome::Kind::Ignored) {
        const core::Presentation shown = core::present(r);
        if (!shown.message.isEmpty()) {
            escribeError(shown.message);
        }
        if (!r.detail.isEmpty()) {
            escribeError(r.detail);  // the console can say where the drawing is damaged, and why
        }
        return false;
    }
    escribeError(QStringLiteral("No se ha procesado %1").arg(bin));
    return false;
}

}  // namespace

int ordenProcesar(const QStringList& args) {
    Argumentos a;
    app::Modo modo = app::Modo::No;
    app::RunOptions opciones;
    try {
        a = analiza(args,
                    {QStringLiteral("--bdd"), QStringLiteral("--bin"), QStringLiteral("--modo"),
                     QStringLiteral("--espera")},
                    {QStringLiteral("-q")});
        if (a.ayuda) {
            salida() << kUso;
            return core::exitstatus::kDone;
        }
        if (!a.posicionales.isEmpty()) {
            throw ErrorUso(QStringLiteral("argumento de más: %1").arg(a.posicionales.front()));
        }
        if (a.opciones.value(QStringLiteral("--bdd")).size() != 1) {
            throw ErrorUso(QStringLiteral("hace falta una sola base de datos (--bdd)"));
        }
        if (a.opciones.value(QStringLiteral("--bin")).isEmpty()) {
            throw ErrorUso(QStringLiteral("hace falta al menos un fichero de dibujo (--bin)"));
        }
        for (const QString& opcion : {QStringLiteral("--bdd"), QStringLiteral("--bin")}) {
            for (const QString& valor : a.opciones.value(opcion)) {
                if (valor.trimmed().isEmpty()) {
                    throw ErrorUso(QStringLiteral("%1 necesita el nombre de un fichero").arg(opcion));
                }
            }
        }
        modo = modoDe(a.opcion(QStringLiteral("--modo"), QStringLiteral("no")));
        constexpr qint64 kUnaSemana = 7 * 24 * 3600;
        const qint64 defecto = std::chrono::duration_cast<std::chrono::seconds>(opciones.espera).count();
        opciones.espera = std::chrono::seconds(a.numero(QStringLiteral("--espera"), defecto, 0, kUnaSemana));
    } catch (const ErrorUso& e) {
        return errorDeUso(e.mensaje(), kUso);
    }

    const QString bdd = a.opcion(QStringLiteral("--bdd"));
    if (importacion::esBaseDeDatosAccess(bdd)) {
        escribeError(QStringLiteral("%1 es una base de datos Access. Impórtela primero:\n"
                                    "  vexilo-cli importar %1 %2")
                         .arg(bdd, importacion::rutaImportada(bdd)));
        return core::exitstatus::kEnded;
    }
    PantallaConsola pantalla(a.banderas.contains(QStringLiteral("-q")));
    core::RunState f;  // one state for all the jobs, as the window keeps one for its whole life
    f.display = &pantalla;
    f.NombreBdD = bdd;
    for (const QString& bin : a.opciones.value(QStringLiteral("--bin"))) {
        if (!procesaUno(f, pantalla, bin, modo, opciones)) {
            return core::exitstatus::kEnded;
        }
    }
    return core::exitstatus::kDone;
}

}  // namespace vexilo::cli
