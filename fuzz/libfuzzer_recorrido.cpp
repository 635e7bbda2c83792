// libFuzzer entry of the recorrido target (fuzz/cuerpos.h).
#include <QCoreApplication>
#include <cstdint>

#include "fuzz/cuerpos.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The SQLite driver and the temporary folders want an application object.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* datos, std::size_t n) {
    vexilo::fuzz::recorrido(datos, n);
    return 0;
}
