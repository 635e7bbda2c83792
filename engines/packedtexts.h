#pragma once
// The texts of the rows handed to a writer thread together, packed into blocks of bytes that the rows
// share: made on the caller's thread as each row is queued, read by the thread in the order they were
// made, and given back, block by block, when the thread is done with the rows, for the caller to pack
// into again. A text went to the thread as a text of its own, made by the caller, its characters and
// its count read there cold from the other core, and each let go of there. Internal to the engine
// layer.

#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engines/plainrow.h"

namespace vexilo::engines {

// Blocks given back, of the usual size, to be packed into again.
using SpareBlocks = std::vector<std::unique_ptr<char[]>>;

class TextBlocks {
  public:
    // Room for at most `most` bytes, at an even address, that stays where it is until the blocks are
    // given back; `used` of them are then kept.
    char* room(std::size_t most);
    void keep(std::size_t used);
    // Takes every block of `other`, which is left with none.
    void take(TextBlocks& other);
    // Lets go of every block: those of the usual size go to `spare` while it holds few.
    void giveBack(SpareBlocks& spare);
    // Takes the blocks of `spare`, to make no new one while they last.
    void reuse(SpareBlocks& spare);
    void clear();

    // The text packed last at the place `at` of a row, if it is `text` itself (shared, not only equal)
    // and lies in these blocks: the run log's table and file names, given row after row.
    const PlainValue* packedBefore(std::size_t at, const QString& text);
    void notePacked(std::size_t at, const QString& text, const PlainValue& packed);

  private:
    static constexpr std::size_t kBlockBytes = 64 * 1024;  // some 500 rows of the run log
    static constexpr std::size_t kMostSpare = 64;
    static constexpr std::size_t kPlacesNoted = 8;

    struct Block {
        std::unique_ptr<char[]> bytes;
        std::size_t size = 0;
    };
    struct Noted {
        QString text;  // held, so that no other text takes its place in memory while it is noted
        PlainValue packed;
        bool given = false;  // given again since it was noted
    };
    // A place whose noted texts are replaced without ever being given again (an element's own text,
    // new in every row) is left unnoted for a while: holding each of its texts cost an atomic count on
    // every row and kept the text's owner from reusing it.
    struct Unnoted {
        std::uint8_t ungiven = 0;  // noted texts in a row replaced without being given again
        std::uint16_t skip = 0;    // texts still to pass over unnoted
    };
    static constexpr std::uint8_t kMostUngiven = 4;
    static constexpr std::uint16_t kSkipped = 256;
    void forgetNoted();

    std::vector<Block> m_blocks;
    SpareBlocks m_spare;
    char* m_free = nullptr;  // in the last block
    std::size_t m_left = 0;
    std::array<Noted, kPlacesNoted> m_noted;
    std::array<Unnoted, kPlacesNoted> m_unnoted;  // kept while the blocks come and go
};

// Packs the row's texts into `blocks`; a text too long for a packed one stays a text, the row's own.
void packTexts(PlainRow& row, TextBlocks& blocks);

}  // namespace vexilo::engines
