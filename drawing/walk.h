#pragma once
// The walk shared by both passes: every element of the input in order; dropped elements skipped, C
// elements copied unchanged, T elements handed to the running pass and then written; progress reported
// after every element, whatever its kind.

#include <cstdint>
#include <functional>

#include "drawing/binfile.h"

namespace vexilo::drawing {

using TextHandler = std::function<void(Element&)>;
// lo: input length; pos: 1-based position of the next unread byte, already lowered to lo.
using ProgressHook = std::function<void(std::int64_t lo, std::int64_t pos)>;

void walk(BinReader& in, BinWriter& out, const TextHandler& onText, const ProgressHook& progress);

}  // namespace vexilo::drawing
