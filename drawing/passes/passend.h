#pragma once
#include "app/core/runstate.h"
#include "drawing/binfile.h"

namespace vexilo::drawing {

// What both passes do after the last element: close file 1, put what file 3 holds on the disk, close Bd
// (which commits the job's writes: the database never says more than the output already holds), show
// "Textos Procesados : " in Label2 and TextosProcesados in Text1.
void endPass(app::RunState& f, BinReader& file1, BinWriter& file3);

}  // namespace vexilo::drawing
