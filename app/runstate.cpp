#include "app/runstate.h"

<<<<<<< HEAD
#include "catalog/attributeindex.h"
=======
#include "catalog/textreader.h"
>>>>>>> main

namespace vexilo::app {

RunState::RunState() = default;
RunState::~RunState() = default;

}  // namespace vexilo::app
