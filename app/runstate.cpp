#include "app/runstate.h"

#include "catalog/catalogindex.h"
#include "schema/runlogkeys.h"

namespace vexilo::app {

RunState::RunState() = default;
RunState::~RunState() = default;

void RunState::resetRunCaches() {
    msCatalogIndex.reset();
    featureIndex.reset();
    runLogKeys.reset();
}

}  // namespace vexilo::app
