#include "cli/stopsignals.h"

#include <signal.h>

#include <QDir>
#include <atomic>

namespace vexilo::cli {
namespace {

// Lock-free, so that the handler may set it (a handler may touch nothing else).
std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void noteStop(int) {
    g_stopRequested.store(true, std::memory_order_relaxed);
}

}  // namespace

void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = noteStop;
    sigemptyset(&action.sa_mask);
    // A read or write that the signal meets goes on: the request is looked at where the work can end
    // cleanly, never as a failed call in the middle of a file.
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

bool stopRequested() {
    return g_stopRequested.load(std::memory_order_relaxed);
}

QString jobInterruptedMessage(const QString& drawing) {
    return QStringLiteral(
               "Proceso interrumpido: %1 no se ha procesado; la base de datos y los ficheros de "
               "salida quedan como estaban.")
        .arg(QDir::toNativeSeparators(drawing));
}

QString importInterruptedMessage(const QString& destination) {
    return QStringLiteral("Importación interrumpida: no se ha importado nada; %1 queda como estaba.")
        .arg(destination);
}

QString sampleInterruptedMessage(const QString& folder) {
    return QStringLiteral(
               "Muestra interrumpida: no se ha escrito nada; la carpeta %1 y la base de datos "
               "quedan como estaban.")
        .arg(QDir::toNativeSeparators(folder));
}

}  // namespace vexilo::cli
