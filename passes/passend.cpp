#include "passes/passend.h"

#include "core/progress.h"

namespace vexilo::drawing {

void runPass(app::RunState& f, BinReader& file1, BinWriter& file3, const TextHandler& onText) {
    f.TextosProcesados = 0;
    recorre(file1, file3, onText,
            [&f](std::int64_t lo, std::int64_t pos) { app::reportProgress(f, lo, pos); });
    endPass(f, file1, file3);
}

void endPass(app::RunState& f, BinReader& file1, BinWriter& file3) {
    file1.close();
    file3.sync();
    f.r.reset();
    if (f.Bd) {
        f.Bd->Close();
        f.Bd.reset();
    }
    f.display->setText(app::Control::Label2, QStringLiteral("Textos Procesados : "));
    f.display->setText(app::Control::Text1, QString::number(f.TextosProcesados));
}

}  // namespace vexilo::drawing
