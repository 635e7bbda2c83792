#pragma once
#include "core/runstate.h"
#include "drawing/binfile.h"

namespace vexilo::drawing {

// The text rewrite pass ("Modificar Texto en Bin"). Walks file1 into file3; closes file1 and Bd at its end.
void LeoBinCambiaTextoBin(app::RunState& f, BinReader& file1, BinWriter& file3);

}  // namespace vexilo::drawing
