#include "passes/passend.h"

#include "core/progress.h"
#include "platform/errors.h"

namespace vexilo::passes {

void runPass(core::RunState& f, drawing::BinReader& file1, drawing::BinWriter& file3,
             const drawing::TextHandler& onText) {
    f.TextosProcesados = 0;
    drawing::walk(file1, file3, onText, [&f](std::int64_t lo, std::int64_t pos) {
        if (f.display->interrupted()) {
            throw platform::Interrupted();
        }
        core::reportProgress(f, lo, pos);
    });
    endPass(f, file1, file3);
}

void endPass(core::RunState& f, drawing::BinReader& file1, drawing::BinWriter& file3) {
    file1.close();
    file3.sync();
    if (f.beforeCommit) {
        f.beforeCommit();
    }
    f.r.reset();
    if (f.Bd) {
        f.Bd->Close();
        f.Bd.reset();
    }
    f.display->setText(core::Control::Label2, QStringLiteral("Textos Procesados : "));
    f.display->setText(core::Control::Text1, QString::number(f.TextosProcesados));
}

}  // namespace vexilo::passes
