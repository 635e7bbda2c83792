// Runs each fuzz target's body over its seeds, so that the targets and their seeds keep working in
// every build (the libFuzzer programs themselves are built only with clang, by `make fuzz`).
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "fuzz/cuerpos.h"
#include "fuzz/semillas.h"
#include "import/destinosqlite.h"

namespace vexilo::fuzz {
namespace {

TEST(FuzzSemillas, TheWalkTargetTakesEverySeedWithoutAFinding) {
    const auto semillas = semillasRecorrido();
    ASSERT_GE(semillas.size(), 3u);
    for (const Semilla& s : semillas) {
        SCOPED_TRACE(s.nombre);
        EXPECT_NO_THROW(recorrido(reinterpret_cast<const std::uint8_t*>(s.datos.data()), s.datos.size()));
    }
}

TEST(FuzzSemillas, TheImportTargetTakesEverySeedAndTheSeedsReachTheTables) {
    QTemporaryDir dir;
    const auto semillas = semillasImportacion(QStringLiteral(VEXILO_TESTDATA "/nwind.mdb"), dir.path());
    ASSERT_EQ(semillas.size(), 10u);  // eight tables alone, the whole sample, the sample cut short
    for (const Semilla& s : semillas) {
        SCOPED_TRACE(s.nombre);
        EXPECT_NO_THROW(importacion(reinterpret_cast<const std::uint8_t*>(s.datos.data()), s.datos.size()));
        // Every seed but the cut one is a whole, correct stream: the fuzzer starts past the checks.
        vexilo::importacion::DestinoSqlite sqlite(QStringLiteral(":memory:"), QStringLiteral("semilla"));
        vexilo::importacion::LectorFlujo lector(sqlite);
        if (s.nombre == "cortado") {
            EXPECT_THROW(lector.alimenta(s.datos.data(), s.datos.size()),
                         vexilo::importacion::ErrorImportacion);
            continue;
        }
        lector.alimenta(s.datos.data(), s.datos.size());
        EXPECT_NO_THROW(lector.termina());
        EXPECT_EQ(lector.tablas().size(), s.nombre == "completo" ? 8u : 1u);
    }
}

}  // namespace
}  // namespace vexilo::fuzz
