// vexilo-cli importar: an Access database into a new SQLite database that the job can use.
#include "tools/cli/argumentos.h"
#include "tools/cli/consola.h"
#include "tools/cli/ordenes.h"
#include "tools/import/accessimport.h"

namespace vexilo::cli {
namespace {

const QString kUso = QStringLiteral(
    "Uso: vexilo-cli importar ORIGEN.mdb DESTINO.sqlite [--forzar]\n"
    "Copia todas las tablas de usuario de una base de datos Access (Jet 3, Jet 4 o ACE) a una base de\n"
    "datos SQLite nueva: nombres, tipos, Nulos, textos y el orden de las filas. El origen no se modifica.\n"
    "  --forzar   sustituye el destino si ya existe\n");

}  // namespace

int ordenImportar(const QStringList& args) {
    Argumentos a;
    try {
        a = analiza(args, {}, {QStringLiteral("--forzar")});
        if (a.ayuda) {
            salida() << kUso;
            return app::exitstatus::kDone;
        }
        if (a.posicionales.size() != 2) {
            throw ErrorUso(QStringLiteral("hacen falta el origen y el destino"));
        }
    } catch (const ErrorUso& e) {
        return errorDeUso(e.mensaje(), kUso);
    }
    try {
        const auto r = importacion::importaAccess(a.posicionales[0], a.posicionales[1],
                                                  a.banderas.contains(QStringLiteral("--forzar")));
        for (const auto& t : r.tablas) {
            salida() << t.nombre << " : " << t.filas << " filas\n";
        }
        salida() << "Importadas " << r.tablas.size() << " tablas en " << a.posicionales[1] << '\n';
        salida().flush();
        for (const auto& aviso : r.avisos) {
            escribeError(QStringLiteral("aviso: ") + aviso);
        }
        return app::exitstatus::kDone;
    } catch (const importacion::ErrorImportacion& e) {
        escribeError(e.mensaje());
        return app::exitstatus::kEnded;
    }
}

}  // namespace vexilo::cli
