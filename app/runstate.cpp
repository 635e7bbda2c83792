#include "app/runstate.h"

namespace vexilo::app {

RunState::RunState() = default;
RunState::~RunState() = default;

}  // namespace vexilo::app
