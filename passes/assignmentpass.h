#pragma once
#include "core/runstate.h"
#include "drawing/binfile.h"

namespace vexilo::passes {

// The text assignment pass (default mode). Walks file1 into file3; closes file1 and Bd at its end.
void LeoBinEntrada(core::RunState& f, drawing::BinReader& file1, drawing::BinWriter& file3);

}  // namespace vexilo::passes
