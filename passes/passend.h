#pragma once
#include "core/runstate.h"
#include "drawing/binfile.h"
#include "drawing/walk.h"

namespace vexilo::passes {

// What both passes share around their treatment of text elements: TextosProcesados from 0, the walk of
// file1 into file3 with progress reported by the common rule, then endPass. After every element the
// display is asked whether the job must end (platform::Interrupted).
void runPass(core::RunState& f, drawing::BinReader& file1, drawing::BinWriter& file3,
             const drawing::TextHandler& onText);

// What both passes do after the last element: close file 1, put what file 3 holds on the disk, close Bd
// (which commits the job's writes: the database never says more than the output already holds), show
// "Textos Procesados : " in Label2 and TextosProcesados in Text1.
void endPass(core::RunState& f, drawing::BinReader& file1, drawing::BinWriter& file3);

}  // namespace vexilo::passes
