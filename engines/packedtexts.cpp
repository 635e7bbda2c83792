#include "engines/packedtexts.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>

#include "engines/utf8text.h"

namespace vexilo::engines {

char* TextBlocks::room(std::size_t most) {
    if (most > m_left) {
        Block block;
        if (most <= kBlockBytes && !m_spare.empty()) {
            block = {std::move(m_spare.back()), kBlockBytes};
            m_spare.pop_back();
        } else {
            block.size = std::max(most, kBlockBytes);
            block.bytes = std::make_unique_for_overwrite<char[]>(block.size);
        }
        m_free = block.bytes.get();
        m_left = block.size;
        m_blocks.push_back(std::move(block));
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
    forgetNoted();
}

void TextBlocks::giveBack(SpareBlocks& spare) {
    for (Block& block : m_blocks) {
        if (block.size == kBlockBytes && spare.size() < kMostSpare) {
            spare.push_back(std::move(block.bytes));
        }
    }
    clear();
}

void TextBlocks::reuse(SpareBlocks& spare) {
    std::move(spare.begin(), spare.end(), std::back_inserter(m_spare));
    spare.clear();
}

void TextBlocks::clear() {
    m_blocks.clear();
    m_free = nullptr;
    m_left = 0;
    forgetNoted();
}

const PlainValue* TextBlocks::packedBefore(std::size_t at, const QString& text) {
    if (at >= kPlacesNoted || !sameText(text, m_noted[at].text)) {
        return nullptr;
    }
    m_noted[at].given = true;
    return &m_noted[at].packed;
}

void TextBlocks::notePacked(std::size_t at, const QString& text, const PlainValue& packed) {
    if (at >= kPlacesNoted) {
        return;
    }
    Unnoted& unnoted = m_unnoted[at];
    if (unnoted.skip > 0) {
        --unnoted.skip;
        return;
    }
    Noted& noted = m_noted[at];
    if (!noted.text.isNull()) {
        unnoted.ungiven = noted.given ? 0 : unnoted.ungiven + 1;
    }
    if (unnoted.ungiven >= kMostUngiven) {
        unnoted = {0, kSkipped};
        noted = {};
        return;
    }
    noted = {text, packed, false};
}

void TextBlocks::forgetNoted() {
    m_noted.fill({});
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
    for (qsizetype at = 0; at < row.size(); ++at) {
        PlainValue& v = row[at];
        if (v.kind() != PlainValue::Kind::Text) {
            continue;
        }
        if (v.textValue().size() >= kLongest) {
            v.ownText();
            continue;
        }
        const auto place = static_cast<std::size_t>(at);
        if (const PlainValue* before = blocks.packedBefore(place, v.textValue())) {
            v = *before;
            continue;
        }
        const PlainValue made = packed(v.textValue(), blocks);
        blocks.notePacked(place, v.textValue(), made);
        v = made;  // the text itself let go of here, on the caller's thread
    }
}

}  // namespace vexilo::engines
