#pragma once
#include "drawing/binfile.h"
#include "drawing/walk.h"
#include "passes/passview.h"

namespace vexilo::passes {

// What both passes share around their treatment of text elements: TextosProcesados from 0, the walk of
// file1 into file3 with progress reported by the common rule, then endPass. After every element the
// display is asked whether the job must end (core::Interrupted).
void runPass(PassView& view, drawing::BinReader& file1, drawing::BinWriter& file3,
             const drawing::TextHandler& onText);

// What both passes do after the last element: close file 1, put what file 3 holds on the disk, show
// "Textos Procesados : " in Label2 and TextosProcesados in Text1. The database is left to the job:
// committing it is the run driver's.
void endPass(PassView& view, drawing::BinReader& file1, drawing::BinWriter& file3);

}  // namespace vexilo::passes
