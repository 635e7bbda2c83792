#include "import/readerprocess.h"

#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <csignal>

namespace vexilo::importer {
namespace {

constexpr int kPauseMs = 100;            // longest wait for output before the limits are looked at again
constexpr qsizetype kMaxWarnings = 100;  // warning lines kept; a helper can print them without end
constexpr qsizetype kMaxLine = 500;
constexpr int kCloseWaitMs = 5000;
// libmdb's only report of a page that the file points to but does not hold.
const char kPageOutside[] = "beyond EOF";

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMemoryLimit = false;  // the sanitizers reserve terabytes of address space
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kMemoryLimit = false;
#else
constexpr bool kMemoryLimit = true;
#endif
#else
constexpr bool kMemoryLimit = true;
#endif

ReadLimits& limits() {
    static ReadLimits l;
    return l;
}

QString& fixedReader() {
    static QString r;
    return r;
}

QString programFolder() {
    if (QCoreApplication::instance()) {
        return QCoreApplication::applicationDirPath();
    }
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
}

// Runs in the child between fork and exec: system calls only.
void applyLimits(const ReadLimits& l) {
    if (kMemoryLimit) {
        const rlim_t bytes = static_cast<rlim_t>(l.memoryMb) << 20;
        const rlimit memory{bytes, bytes};
        setrlimit(RLIMIT_AS, &memory);
    }
    // Past the soft limit the kernel sends SIGXCPU, past the hard one SIGKILL.
    const rlimit cpu{static_cast<rlim_t>(l.cpuSeconds), static_cast<rlim_t>(l.cpuSeconds) + 1};
    setrlimit(RLIMIT_CPU, &cpu);
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
}

// Warnings as they come: at most kMaxWarnings lines are kept, whatever the helper prints.
class Warnings {
  public:
    void add(const QByteArray& data) {
        m_rest += data;
        qsizetype end;
        while ((end = m_rest.indexOf('\n')) >= 0) {
            line(m_rest.left(end));
            m_rest.remove(0, end + 1);
        }
        if (m_rest.size() > kMaxLine) {
            line(m_rest);
            m_rest.clear();
        }
    }
    QStringList finish() {
        line(m_rest);
        m_rest.clear();
        return m_lines;
    }
    bool missingPages() const { return m_missingPages; }

  private:
    void line(const QByteArray& l) {
        m_missingPages = m_missingPages || l.contains(kPageOutside);
        const QString t = QString::fromUtf8(l.left(kMaxLine)).trimmed();
        if (!t.isEmpty() && m_lines.size() < kMaxWarnings) {
            m_lines << t;
        }
    }
    QByteArray m_rest;
    QStringList m_lines;
    bool m_missingPages = false;
};

void stop(QProcess& p) {
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(kCloseWaitMs);
    }
}

// Why the helper ended without finishing its stream.
void endCause(const QProcess& p, const ReadLimits& l) {
    if (p.exitStatus() == QProcess::CrashExit) {
        // On Unix the exit code of a crash is the signal that ended it.
        if (p.exitCode() == SIGXCPU || p.exitCode() == SIGKILL) {
            damagedFile(QStringLiteral("su lectura no terminó en %1 segundos de cálculo").arg(l.cpuSeconds));
        }
        damagedFile(QStringLiteral("su lectura terminó de forma anormal (señal %1; memoria permitida: %2 MB)")
                        .arg(p.exitCode())
                        .arg(l.memoryMb));
    }
    if (p.exitCode() != 0) {
        damagedFile(QStringLiteral("su lectura terminó con el código %1").arg(p.exitCode()));
    }
}

void start(QProcess& p, const QString& source, const ReadLimits& l) {
    const QString reader = accessReader();
    if (!QFileInfo(reader).isExecutable()) {
        throw ImportError(QStringLiteral("No se encuentra el programa que lee las bases de datos Access: %1")
                              .arg(QDir::toNativeSeparators(reader)));
    }
    p.setProgram(reader);
    p.setArguments({source});
    p.setChildProcessModifier([l]() { applyLimits(l); });
    p.start(QIODevice::ReadOnly);
    if (!p.waitForStarted()) {
        throw ImportError(QStringLiteral("No se puede ejecutar el programa que lee las bases de datos "
                                         "Access %1: %2")
                              .arg(QDir::toNativeSeparators(reader), p.errorString()));
    }
}

// Feeds the helper's output to the reader until it ends or the wait runs out.
void pump(QProcess& p, StreamReader& reader, Warnings& warnings, const ReadLimits& l) {
    QElapsedTimer clock;
    clock.start();
    const qint64 deadline = static_cast<qint64>(l.waitSeconds) * 1000;
    for (;;) {
        const QByteArray data = p.readAllStandardOutput();
        reader.feed(data.constData(), static_cast<std::size_t>(data.size()));
        warnings.add(p.readAllStandardError());
        if (p.state() == QProcess::NotRunning) {
            return;
        }
        const qint64 remains = deadline - clock.elapsed();
        if (remains <= 0) {
            damagedFile(QStringLiteral("su lectura no terminó en %1 segundos").arg(l.waitSeconds));
        }
        p.waitForReadyRead(static_cast<int>(std::min<qint64>(remains, kPauseMs)));
    }
}

}  // namespace

void setReadLimits(const ReadLimits& l) {
    limits() = l;
}

ReadLimits readLimits() {
    return limits();
}

void setAccessReader(const QString& path) {
    fixedReader() = path;
}

QString accessReader() {
    if (!fixedReader().isEmpty()) {
        return fixedReader();
    }
    // Installed, the helper lives in the package's own library folder, found from the program's folder.
    const QString program = programFolder();
    const QString installed =
        QDir::cleanPath(QDir(program).filePath(QStringLiteral(VEXILO_ACCESS_READER_INSTALLED)));
    if (QFileInfo(installed).isExecutable()) {
        return installed;
    }
    // A program of the build tree runs the helper the build made; an installed one never does.
    const QString buildTree = QStringLiteral(VEXILO_BUILD_TREE "/");
    if ((program + QLatin1Char('/')).startsWith(buildTree)) {
        return QStringLiteral(VEXILO_ACCESS_READER_BUILT);
    }
    return installed;
}

QStringList readWithReader(const QString& source, StreamReader& reader) {
    const ReadLimits l = limits();
    QProcess p;
    Warnings warnings;
    start(p, source, l);
    try {
        pump(p, reader, warnings, l);
        if (warnings.missingPages()) {
            damagedFile(QStringLiteral("le faltan páginas (el fichero parece cortado)"));
        }
        if (!reader.complete()) {
            endCause(p, l);
        }
        reader.finish();
        endCause(p, l);
    } catch (...) {
        stop(p);
        throw;
    }
    return warnings.finish();
}

}  // namespace vexilo::importer
