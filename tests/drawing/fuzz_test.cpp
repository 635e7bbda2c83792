// Runs the fuzz harness over seeded mutations of a correct file, so the harness keeps working and the
// reader meets damage nobody thought of writing a test for.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <random>

#include "tests/support/elementbuilder.h"
#include "tests/support/walkharness.h"

namespace vexilo::testing {
namespace {

Bytes seedFile() {
    return concat({
        ElementBuilder::t().seed(1).codigoNul("123").texto("HOLA").link(5, 17),
        ElementBuilder::c().seed(2).records(3).link(1, 1),
        ElementBuilder::tipo('T', ' ').seed(3).texto("DESCARTADO"),
        ElementBuilder::t().seed(4).codigoSpaces(" 7").texto("RIO GRANDE DEL NORTE").link(3, 9).link(4, 10),
        ElementBuilder::c().seed(5),
        ElementBuilder::t().seed(6),
    });
}

Bytes mutate(Bytes b, std::mt19937& rng) {
    auto below = [&rng](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    const int edits = 1 + static_cast<int>(below(4));
    for (int i = 0; i < edits && !b.empty(); ++i) {
        switch (below(5)) {
            case 0:  // any byte to any value
                b[below(b.size())] = static_cast<std::uint8_t>(below(256));
                break;
            case 1:  // a header field of a record boundary: tipo, counts
                if (b.size() >= 12) {
                    const std::size_t at = below(b.size() / 12) * 12;
                    const std::size_t field[] = {0, 1, 9, 10, 11};
                    b[at + field[below(5)]] = static_cast<std::uint8_t>(below(256));
                }
                break;
            case 2:  // cut short
                b.resize(below(b.size() + 1));
                break;
            case 3: {  // a slice repeated
                const std::size_t from = below(b.size());
                const std::size_t n = std::min<std::size_t>(below(40) + 1, b.size() - from);
                const Bytes slice(b.begin() + static_cast<std::ptrdiff_t>(from),
                                  b.begin() + static_cast<std::ptrdiff_t>(from + n));
                b.insert(b.begin() + static_cast<std::ptrdiff_t>(below(b.size() + 1)), slice.begin(),
                         slice.end());
                break;
            }
            default:  // a slice removed
            {
                const std::size_t from = below(b.size());
                const std::size_t n = std::min<std::size_t>(below(30) + 1, b.size() - from);
                b.erase(b.begin() + static_cast<std::ptrdiff_t>(from),
                        b.begin() + static_cast<std::ptrdiff_t>(from + n));
            }
        }
    }
    return b;
}

TEST(Fuzz, MutatedFilesOnlyEverEndOrStopAsCorrupt) {
    QTemporaryDir dir;
    const Bytes original = seedFile();
    const WalkOutcome clean = fuzzWalkOnce(original, dir.path());
    ASSERT_FALSE(clean.corruptAt);
    ASSERT_EQ(clean.textsHandled, 3);

    std::mt19937 rng(7);
    int corrupt = 0;
    int completed = 0;
    for (int i = 0; i < 1500 && !HasFailure(); ++i) {
        const WalkOutcome r = fuzzWalkOnce(mutate(original, rng), dir.path());
        (r.corruptAt ? corrupt : completed)++;
    }
    // Both endings are reached, or the mutations are not reaching the checks.
    EXPECT_GT(corrupt, 100);
    EXPECT_GT(completed, 100);
}

}  // namespace
}  // namespace vexilo::testing
