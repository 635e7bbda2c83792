#include "app/runstate.h"

#include "catalog/textreader.h"

namespace vexilo::app {

RunState::RunState() = default;
RunState::~RunState() = default;

}  // namespace vexilo::app
