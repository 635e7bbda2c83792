#pragma once
// Runs the real reader, walk and writer over arbitrary bytes. Whatever the bytes, the walk may only end
// normally, stop with CorruptFile or fail with core::RunError; anything else (another exception, a
// crash, a sanitizer report) is a fault. The outcome is checked against the test decoder: what was
// written is always a well-formed run of carried C and T elements.

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "drawing/element.h"
#include "tests/support/elementbuilder.h"

namespace vexilo::testing {

struct WalkOutcome {
    Bytes output;                           // the output file's bytes after the walk
    std::optional<std::int64_t> corruptAt;  // offset given by CorruptFile, when it stopped the walk
    std::optional<QString> runError;        // description of a RunError, when one ended it
    std::vector<std::pair<std::int64_t, std::int64_t>> progress;  // (lo, pos) of every progress call
    int textsHandled = 0;
};

// Writes `input` to dir/entrada.bin and walks it into dir/entrada_s.bin. onText, when given, is the
// running pass's treatment of text elements. bufferSize sets both buffers (small ones exercise refills).
WalkOutcome runWalk(const Bytes& input, const QString& dir,
                    const std::function<void(drawing::Element&)>& onText = {},
                    std::size_t bufferSize = 1 << 20);

// The fuzz entry: runWalk with nothing but the walk's own checks, then the invariants of any outcome
// (the output decodes whole, holds only carried C/T elements, T elements with a first body record).
// Returns the outcome for further checks; reports broken invariants as test failures.
WalkOutcome fuzzWalkOnce(const Bytes& input, const QString& dir, std::size_t bufferSize = 4096);

}  // namespace vexilo::testing
