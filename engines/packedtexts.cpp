#include "engines/packedtexts.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>

#include "engines/utf8text.h"

namespace vexilo::engines {

char* TextBlocks::room(std::size_t most) {
    if (most > m_left) {
        const std::size_t size = std::max(most, kBlockBytes);
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(size));
        m_free = m_blocks.back().get();
        m_left = size;
    }
    return m_free;
}

void TextBlocks::keep(std::size_t used) {
    used += used % 2;  // the next text starts at an even address, as UTF-16 must
    used = std::min(used, m_left);
    m_free += used;
    m_left -= used;
}

void TextBlocks::take(TextBlocks& other) {
    std::move(other.m_blocks.begin(), other.m_blocks.end(), std::back_inserter(m_blocks));
    other.clear();
    m_free = nullptr;  // the blocks taken may end anywhere: the next text starts a block
    m_left = 0;
}

void TextBlocks::clear() {
    m_blocks.clear();
    m_free = nullptr;
    m_left = 0;
}

namespace {

PlainValue packed(const QString& text, TextBlocks& blocks) {
    const auto units = static_cast<std::size_t>(text.size());
    char* out = blocks.room(utf8Room(units));
    const Utf8Encoded encoded = encodeUtf8(text, out);
    if (!encoded.surrogate) {
        blocks.keep(encoded.length + 1);
        return PlainValue::packedUtf8({out, encoded.length}, encoded.holdsNul);
    }
    auto* copied = reinterpret_cast<char16_t*>(out);  // room for three bytes a unit holds two
    std::copy(text.utf16(), text.utf16() + units, copied);
    blocks.keep(units * sizeof(char16_t));
    return PlainValue::packedUtf16(QStringView(copied, static_cast<qsizetype>(units)));
}

}  // namespace

void packTexts(PlainRow& row, TextBlocks& blocks) {
    constexpr qsizetype kLongest = std::numeric_limits<std::int32_t>::max() / 3;
    for (PlainValue& v : row) {
        if (v.kind() == PlainValue::Kind::Text && v.textValue().size() < kLongest) {
            v = packed(v.textValue(), blocks);  // the text itself let go of here, on the caller's thread
        }
    }
}

}  // namespace vexilo::engines
