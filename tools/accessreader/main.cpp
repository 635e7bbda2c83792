// vexilo-accessreader ORIGEN: writes the Access file's tables to standard output as the stream of
// accessstream.h. Run by the importer, which sets its limits and treats what it writes as untrusted.
// libmdb prints its warnings on standard output and standard error alike: the stream goes out on the
// original standard output, and everything printed on standard output afterwards goes to standard
// error, where the importer collects it as warnings.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "tools/accessreader/accessreader.h"

#include "tools/accessreader/libmdbleaks.h"

namespace {

void writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            std::_Exit(3);  // the importer has gone: nobody reads what follows
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("Uso: vexilo-accessreader ORIGEN.mdb\n", stderr);
        return 2;
    }
    const int channel = dup(STDOUT_FILENO);
    if (channel < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        return 3;
    }
    vexilo::importer::stream::Writer w([channel](std::string_view frame) { writeAll(channel, frame); });
    vexilo::accessreader::readAccess(argv[1], w);
    std::fflush(stdout);
    return 0;
}
