// vexilo-leeaccess ORIGEN: writes the Access file's tables to standard output as the stream of
// flujoaccess.h. Run by the importer, which sets its limits and treats what it writes as untrusted.
// libmdb prints its warnings on standard output and standard error alike: the stream goes out on the
// original standard output, and everything printed on standard output afterwards goes to standard
// error, where the importer collects it as warnings.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "tools/accessreader/leeaccess.h"

#include "tools/accessreader/noleakreport.h"

namespace {

void escribeTodo(int fd, std::string_view datos) {
    while (!datos.empty()) {
        const ssize_t n = write(fd, datos.data(), datos.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            std::_Exit(3);  // the importer has gone: nobody reads what follows
        }
        datos.remove_prefix(static_cast<std::size_t>(n));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("Uso: vexilo-leeaccess ORIGEN.mdb\n", stderr);
        return 2;
    }
    const int canal = dup(STDOUT_FILENO);
    if (canal < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        return 3;
    }
    vexilo::importacion::flujo::Escritor w([canal](std::string_view trama) { escribeTodo(canal, trama); });
    vexilo::importacion::leeAccess(argv[1], w);
    std::fflush(stdout);
    return 0;
}
