// libFuzzer entry of the import target (fuzz/bodies.h).
#include <QCoreApplication>
#include <cstdint>

#include "fuzz/bodies.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The SQLite driver and the temporary folders want an application object.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t n) {
    vexilo::fuzz::importer(data, n);
    return 0;
}
