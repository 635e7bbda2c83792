#include "cli/pantallaconsola.h"

#include "cli/consola.h"

namespace vexilo::cli {

void PantallaConsola::empiezaTrabajo() {
    m_enTrabajo = true;
    m_terminado = false;
    m_siguiente = 10;
    if (!m_silencioso) {
        errores() << "0";
        errores().flush();
        m_lineaAbierta = true;
    }
}

void PantallaConsola::terminaTrabajo(bool completo) {
    // "done" is said only of a job that finished: a pass may reach 100 and the job still fail after it.
    if (completo && m_enTrabajo) {
        marca(100);
        if (!m_silencioso) {
            errores() << " - done.\n";
            errores().flush();
            m_lineaAbierta = false;
        }
    }
    cierraLinea();
    m_enTrabajo = false;
}

void PantallaConsola::setProgress(int value) {
    if (m_enTrabajo) {
        marca(value);
    }
}

void PantallaConsola::marca(int hasta) {
    if (m_silencioso) {
        return;
    }
    bool escrito = false;
    while (m_siguiente <= hasta && m_siguiente <= 100) {
        // After a message the marks go on, on a line of their own.
        errores() << "..." << m_siguiente;
        m_lineaAbierta = true;
        escrito = true;
        m_siguiente += 10;
    }
    if (escrito) {
        errores().flush();
    }
}

void PantallaConsola::cierraLinea() {
    if (m_lineaAbierta) {
        errores() << '\n';
        errores().flush();
        m_lineaAbierta = false;
    }
}

void PantallaConsola::message(const QString& text, platform::Icon) {
    // The only message after "Proceso Finalizado." is the run report, which the summary prints on the
    // standard output with the other results: it is not repeated here.
    if (m_terminado) {
        return;
    }
    cierraLinea();
    escribeError(text);
}

void PantallaConsola::notice(const QString& text) {
    if (text.isEmpty()) {
        return;
    }
    cierraLinea();
    escribeError(text);
}

}  // namespace vexilo::cli
