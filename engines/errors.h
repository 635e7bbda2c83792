#pragma once
// The engines report failures as the rest of the program does (core/errors.h); their own error numbers
// sit beside the common ones in errnum (dao.h).

#include "core/errors.h"

namespace vexilo::engines {

using core::EngineError;
using core::Icon;
using core::Interrupted;
using core::RunError;
using core::Stop;

namespace errnum {
using namespace core::errnum;
}  // namespace errnum

}  // namespace vexilo::engines
