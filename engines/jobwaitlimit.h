#pragma once
// How long a job, or a program that writes a whole database, waits for another process's job on the same
// database before it gives up with nothing done, unless its caller asks otherwise. The window, the command
// line and the importers all wait this long by default, and the command line's help and manual say so.

#include <chrono>

namespace vexilo::engines {

inline constexpr std::chrono::minutes kJobWaitLimit{10};

}  // namespace vexilo::engines
