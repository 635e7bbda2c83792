#include "drawing/passes/passend.h"

namespace vexilo::drawing {

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
