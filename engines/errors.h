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

// A write whose failure surfaced after the call that gave it: it already names its own table, and a
// caller that adds what it was doing must not add it to this one.
class DeferredWriteError : public EngineError {
  public:
    explicit DeferredWriteError(const EngineError& e) : EngineError(e) {}
};

namespace errnum {
using namespace core::errnum;
}  // namespace errnum

}  // namespace vexilo::engines
