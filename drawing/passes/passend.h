#pragma once
#include "app/core/runstate.h"
#include "drawing/binfile.h"

namespace vexilo::drawing {

// What both passes do after the last element: close file 1 and Bd, show "Textos Procesados : " in
// Label2 and TextosProcesados in Text1.
void endPass(app::RunState& f, BinReader& file1);

}  // namespace vexilo::drawing
