#pragma once
// The texts of the rows handed to a writer thread together, packed into blocks of bytes that the rows
// share: made on the caller's thread as each row is queued, read by the thread in the order they were
// made, and let go of at once, block by block, when the thread is done with the rows. A text went to
// the thread as a text of its own, made by the caller, its characters and its count read there cold
// from the other core, and each let go of there. Internal to the engine layer.

#include <cstddef>
#include <memory>
#include <vector>

#include "engines/plainrow.h"

namespace vexilo::engines {

class TextBlocks {
  public:
    // Room for at most `most` bytes, at an even address, that stays where it is until the blocks are let
    // go of; `used` of them are then kept.
    char* room(std::size_t most);
    void keep(std::size_t used);
    // Takes every block of `other`, which is left with none.
    void take(TextBlocks& other);
    void clear();

  private:
    static constexpr std::size_t kBlockBytes = 64 * 1024;  // some 500 rows of the run log

    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_free = nullptr;  // in the last block
    std::size_t m_left = 0;
};

// Packs the row's texts into `blocks`; a text too long for a packed one stays as it is.
void packTexts(PlainRow& row, TextBlocks& blocks);

}  // namespace vexilo::engines
