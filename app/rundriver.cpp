#include "app/rundriver.h"

#include <exception>
#include <memory>

#include "app/progress.h"
#include "drawing/assignmentpass.h"
#include "drawing/binfile.h"
#include "drawing/rewritepass.h"
#include "platform/dao.h"
#include "schema/verification.h"

namespace vexilo::app {

namespace {

struct Ficheros {
    std::unique_ptr<drawing::BinReader> fichero1;
    std::unique_ptr<drawing::BinWriter> fichero3;
};

void ejecuta(RunState& f, Modo modo, Ficheros& fx) {
    fx.fichero1 = std::make_unique<drawing::BinReader>(f.NombreBin);
    f.HoraInicio = horaEnSegundos();
    fx.fichero3 = std::make_unique<drawing::BinWriter>(f.NombreBinSalida);
    f.display->setPointer(Pointer::Busy);
    f.Wrk = &platform::DBEngine::instance().Workspaces(0);
    f.Bd = f.Wrk->OpenDatabase(f.NombreBdD);

    schema::Chequea_tablas_principales(f);
    schema::chequea_resto_tablas(f);
    schema::chequea_estructura_de_tablas(f);

    if (modo == Modo::ModificarTexto) {
        drawing::LeoBinCambiaTextoBin(f, *fx.fichero1, *fx.fichero3);
    } else {
        drawing::LeoBinEntrada(f, *fx.fichero1, *fx.fichero3);
    }

    // A failed flush of the output is a failure of the job, never a success.
    fx.fichero3->close();
    fx.fichero1->close();
    fx.fichero3.reset();
    fx.fichero1.reset();

    f.display->setText(Control::Label5, mensajeCreado(f.NombreBinSalida));
    f.display->setFinishedVisible(true);
    f.display->setPointer(Pointer::Default);
    if (!f.report.empty()) {
        f.display->message(f.report.texto());
    }
}

// Closes one object the job opened and lets it go; a failure while closing is swallowed, so that it
// cannot hide the failure that ended the job.
template <typename T, typename Cierre>
void cierraCallando(std::unique_ptr<T>& objeto, Cierre cierra) noexcept {
    try {
        if (objeto) {
            cierra(*objeto);
        }
    } catch (...) {
    }
    objeto.reset();
}

// After a stop or a failure: what the job opened is closed. Whatever the database already stored stays
// (closing Bd commits), and so do the elements already written to the output. A second failure while
// closing is not allowed to hide the first.
void cierraTodo(RunState& f, Ficheros& fx) noexcept {
    cierraCallando(f.r, [](platform::Recordset& r) { r.Close(); });
    cierraCallando(f.Bd, [](platform::Database& bd) { bd.Close(); });
    cierraCallando(fx.fichero3, [](drawing::BinWriter& w) { w.close(); });
    cierraCallando(fx.fichero1, [](drawing::BinReader& r) { r.close(); });
}

}  // namespace

QString mensajeCreado(const QString& nombreBinSalida) {
    return QStringLiteral("Creado el fichero : ") + QChar(13) + nombreBinSalida;
}

QString textoDeError(int number, const QString& description) {
    return QStringLiteral("Error %1").arg(number) + QChar(13) + description;
}

RunOutcome Command1_Click(RunState& f, Modo modo) {
    f.MantenerAsignaciones = modo == Modo::Si;
    if (f.NombreBin.isEmpty() || f.NombreBdD.isEmpty() || f.NombreBinSalida.isEmpty()) {
        return {};
    }
    f.report = RunReport{};

    Ficheros fx;
    RunOutcome outcome;
    try {
        ejecuta(f, modo, fx);
        outcome.kind = RunOutcome::Kind::Finished;
        return outcome;
    } catch (const platform::Stop& stop) {
        outcome.kind = RunOutcome::Kind::Stopped;
        outcome.message = stop.message();
        outcome.icon = stop.icon();
    } catch (const platform::RunError& error) {
        outcome.kind = RunOutcome::Kind::Failed;
        outcome.number = error.number();
        outcome.description = error.description();
    } catch (const std::exception& error) {
        outcome.kind = RunOutcome::Kind::Failed;
        outcome.number = kErrorInterno;
        outcome.description = QString::fromLocal8Bit(error.what());
    }
    cierraTodo(f, fx);
    return outcome;
}

}  // namespace vexilo::app
