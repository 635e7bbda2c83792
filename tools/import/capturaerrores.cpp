#include "tools/import/capturaerrores.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace vexilo::importacion {

CapturaErrores::CapturaErrores() {
    char plantilla[] = "/tmp/vexilo-mdb-XXXXXX";
    m_temporal = mkstemp(plantilla);
    if (m_temporal < 0) {
        return;  // nothing captured: the warnings simply stay on standard error
    }
    unlink(plantilla);
    std::fflush(stderr);
    m_original = dup(STDERR_FILENO);
    dup2(m_temporal, STDERR_FILENO);
}

CapturaErrores::~CapturaErrores() {
    termina();
}

QStringList CapturaErrores::termina() {
    QStringList lineas;
    if (m_original < 0) {
        return lineas;
    }
    std::fflush(stderr);
    dup2(m_original, STDERR_FILENO);
    close(m_original);
    m_original = -1;
    std::string texto;
    char buf[4096];
    lseek(m_temporal, 0, SEEK_SET);
    for (ssize_t n; (n = read(m_temporal, buf, sizeof buf)) > 0;) {
        texto.append(buf, static_cast<std::size_t>(n));
    }
    close(m_temporal);
    m_temporal = -1;
    for (const QString& l : QString::fromUtf8(texto).split(QChar('\n'))) {
        if (!l.trimmed().isEmpty()) {
            lineas << l.trimmed();
        }
    }
    return lineas;
}

}  // namespace vexilo::importacion
