#include "fuzz/cuerpos.h"
#include "import/destinosqlite.h"
#include "import/lectorflujo.h"

namespace vexilo::fuzz {

void importacion(const std::uint8_t* datos, std::size_t n) {
    const auto* p = reinterpret_cast<const char*>(datos);
    try {
        vexilo::importacion::DestinoSqlite sqlite(QStringLiteral(":memory:"), QStringLiteral("fuzz.sqlite"));
        vexilo::importacion::LectorFlujo lector(sqlite);
        // In two pieces, as a pipe hands them over: a frame may be cut anywhere.
        const std::size_t mitad = n / 2;
        lector.alimenta(p, mitad);
        lector.alimenta(p + mitad, n - mitad);
        lector.termina();
        sqlite.termina();
        if (!lector.completo()) {
            throw Hallazgo("un flujo incompleto se dio por bueno");
        }
    } catch (const vexilo::importacion::ErrorImportacion&) {
        // the answer to a damaged stream
    }
}

}  // namespace vexilo::fuzz
