#pragma once
#include "core/runstate.h"
#include "drawing/binfile.h"
#include "drawing/walk.h"

namespace vexilo::drawing {

// What both passes share around their treatment of text elements: TextosProcesados from 0, the walk of
// file1 into file3 with progress reported by the common rule, then endPass.
void runPass(app::RunState& f, BinReader& file1, BinWriter& file3, const TextHandler& onText);

// What both passes do after the last element: close file 1, put what file 3 holds on the disk, close Bd
// (which commits the job's writes: the database never says more than the output already holds), show
// "Textos Procesados : " in Label2 and TextosProcesados in Text1.
void endPass(app::RunState& f, BinReader& file1, BinWriter& file3);

}  // namespace vexilo::drawing
