#pragma once
#include "core/runstate.h"
#include "drawing/binfile.h"

namespace vexilo::passes {

// The text rewrite pass ("Modificar Text en Bin"). Walks file1 into file3; closes file1 and Bd at its end.
void LeoBinCambiaTextoBin(core::RunState& f, drawing::BinReader& file1, drawing::BinWriter& file3);

}  // namespace vexilo::passes
