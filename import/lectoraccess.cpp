#include "import/lectoraccess.h"

#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <csignal>

namespace vexilo::importacion {
namespace {

constexpr int kPausaMs = 100;          // longest wait for output before the limits are looked at again
constexpr qsizetype kMaxAvisos = 100;  // warning lines kept; a helper can print them without end
constexpr qsizetype kMaxLinea = 500;
constexpr int kEsperaCierreMs = 5000;
// libmdb's only report of a page that the file points to but does not hold.
const char kPaginaFuera[] = "beyond EOF";

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLimitaMemoria = false;  // AddressSanitizer reserves terabytes of address space
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kLimitaMemoria = false;
#else
constexpr bool kLimitaMemoria = true;
#endif
#else
constexpr bool kLimitaMemoria = true;
#endif

LimitesLectura& limites() {
    static LimitesLectura l;
    return l;
}

QString& lectorFijado() {
    static QString r;
    return r;
}

QString dirDelPrograma() {
    if (QCoreApplication::instance()) {
        return QCoreApplication::applicationDirPath();
    }
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
}

// Runs in the child between fork and exec: system calls only.
void aplicaLimites(const LimitesLectura& l) {
    if (kLimitaMemoria) {
        const rlim_t bytes = static_cast<rlim_t>(l.memoriaMB) << 20;
        const rlimit memoria{bytes, bytes};
        setrlimit(RLIMIT_AS, &memoria);
    }
    // Past the soft limit the kernel sends SIGXCPU, past the hard one SIGKILL.
    const rlimit cpu{static_cast<rlim_t>(l.cpuSegundos), static_cast<rlim_t>(l.cpuSegundos) + 1};
    setrlimit(RLIMIT_CPU, &cpu);
    const rlimit sinCore{0, 0};
    setrlimit(RLIMIT_CORE, &sinCore);
}

// Warnings as they come: at most kMaxAvisos lines are kept, whatever the helper prints.
class Avisos {
  public:
    void anade(const QByteArray& datos) {
        m_resto += datos;
        qsizetype fin;
        while ((fin = m_resto.indexOf('\n')) >= 0) {
            linea(m_resto.left(fin));
            m_resto.remove(0, fin + 1);
        }
        if (m_resto.size() > kMaxLinea) {
            linea(m_resto);
            m_resto.clear();
        }
    }
    QStringList termina() {
        linea(m_resto);
        m_resto.clear();
        return m_lineas;
    }
    bool faltanPaginas() const { return m_faltanPaginas; }

  private:
    void linea(const QByteArray& l) {
        m_faltanPaginas = m_faltanPaginas || l.contains(kPaginaFuera);
        const QString t = QString::fromUtf8(l.left(kMaxLinea)).trimmed();
        if (!t.isEmpty() && m_lineas.size() < kMaxAvisos) {
            m_lineas << t;
        }
    }
    QByteArray m_resto;
    QStringList m_lineas;
    bool m_faltanPaginas = false;
};

void detiene(QProcess& p) {
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(kEsperaCierreMs);
    }
}

// Why the helper ended without finishing its stream.
void causaDelFinal(const QProcess& p, const LimitesLectura& l) {
    if (p.exitStatus() == QProcess::CrashExit) {
        // On Unix the exit code of a crash is the signal that ended it.
        if (p.exitCode() == SIGXCPU || p.exitCode() == SIGKILL) {
            ficheroDanado(
                QStringLiteral("su lectura no terminó en %1 segundos de cálculo").arg(l.cpuSegundos));
        }
        ficheroDanado(
            QStringLiteral("su lectura terminó de forma anormal (señal %1; memoria permitida: %2 MB)")
                .arg(p.exitCode())
                .arg(l.memoriaMB));
    }
    if (p.exitCode() != 0) {
        ficheroDanado(QStringLiteral("su lectura terminó con el código %1").arg(p.exitCode()));
    }
}

void arranca(QProcess& p, const QString& origen, const LimitesLectura& l) {
    const QString lector = lectorAccess();
    if (!QFileInfo(lector).isExecutable()) {
        throw ErrorImportacion(
            QStringLiteral("No se encuentra el programa que lee las bases de datos Access: %1")
                .arg(QDir::toNativeSeparators(lector)));
    }
    p.setProgram(lector);
    p.setArguments({origen});
    p.setChildProcessModifier([l]() { aplicaLimites(l); });
    p.start(QIODevice::ReadOnly);
    if (!p.waitForStarted()) {
        throw ErrorImportacion(QStringLiteral("No se puede ejecutar el programa que lee las bases de datos "
                                              "Access %1: %2")
                                   .arg(QDir::toNativeSeparators(lector), p.errorString()));
    }
}

// Feeds the helper's output to the reader until it ends or the wait runs out.
void sigue(QProcess& p, LectorFlujo& lector, Avisos& avisos, const LimitesLectura& l) {
    QElapsedTimer reloj;
    reloj.start();
    const qint64 plazo = static_cast<qint64>(l.esperaSegundos) * 1000;
    for (;;) {
        const QByteArray datos = p.readAllStandardOutput();
        lector.alimenta(datos.constData(), static_cast<std::size_t>(datos.size()));
        avisos.anade(p.readAllStandardError());
        if (p.state() == QProcess::NotRunning) {
            return;
        }
        const qint64 queda = plazo - reloj.elapsed();
        if (queda <= 0) {
            ficheroDanado(QStringLiteral("su lectura no terminó en %1 segundos").arg(l.esperaSegundos));
        }
        p.waitForReadyRead(static_cast<int>(std::min<qint64>(queda, kPausaMs)));
    }
}

}  // namespace

void fijaLimitesLectura(const LimitesLectura& l) {
    limites() = l;
}

LimitesLectura limitesLectura() {
    return limites();
}

void fijaLectorAccess(const QString& ruta) {
    lectorFijado() = ruta;
}

QString lectorAccess() {
    if (!lectorFijado().isEmpty()) {
        return lectorFijado();
    }
    const QString alLado = QDir(dirDelPrograma()).filePath(QStringLiteral("vexilo-leeaccess"));
    if (QFileInfo(alLado).isExecutable()) {
        return alLado;
    }
    return QStringLiteral(VEXILO_LEEACCESS_COMPILADO);
}

QStringList leeConLector(const QString& origen, LectorFlujo& lector) {
    const LimitesLectura l = limites();
    QProcess p;
    Avisos avisos;
    arranca(p, origen, l);
    try {
        sigue(p, lector, avisos, l);
        if (avisos.faltanPaginas()) {
            ficheroDanado(QStringLiteral("le faltan páginas (el fichero parece cortado)"));
        }
        if (!lector.completo()) {
            causaDelFinal(p, l);
        }
        lector.termina();
        causaDelFinal(p, l);
    } catch (...) {
        detiene(p);
        throw;
    }
    return avisos.termina();
}

}  // namespace vexilo::importacion
