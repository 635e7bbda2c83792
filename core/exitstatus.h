#pragma once
// The exit statuses of every program of the system, one meaning each.

namespace vexilo::core::exitstatus {

constexpr int kDone = 0;   // the job (or the command) finished
constexpr int kEnded = 1;  // a stop or a failure ended the job; the window ends the program with it
constexpr int kUsage = 2;  // the command line was used wrongly; nothing was touched

}  // namespace vexilo::core::exitstatus
