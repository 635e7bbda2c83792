#include "app/runstate.h"

#include "catalog/catalogindex.h"
#include "catalog/textreader.h"
#include "schema/runlogkeys.h"

namespace vexilo::app {

RunState::RunState() = default;
RunState::~RunState() = default;

void RunState::resetRunCaches() {
    textosBdD.reset();
    msCatalogIndex.reset();
    featureIndex.reset();
    runLogKeys.reset();
}

}  // namespace vexilo::app
