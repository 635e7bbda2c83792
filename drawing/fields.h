#pragma once
// Little-endian fields of the drawing file, read from and written to a byte buffer with its end. Every
// read and write checks that its bytes lie inside the buffer first; the callers size their buffers from
// the element's counts before they start, so a failed check here is a fault of ours, reported as a
// corrupt file at the element's offset rather than as a read outside the buffer.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/errors.h"

namespace vexilo::drawing {

// The one place where every corruption of a drawing file is reported (throws CorruptFile).
[[noreturn]] void reportCorruption(std::int64_t offset, const char* reason);

class FieldReader {
  public:
    FieldReader(const std::uint8_t* begin, const std::uint8_t* end, std::int64_t elementOffset)
        : m_p(begin), m_end(end), m_offset(elementOffset) {}

    std::size_t remaining() const { return static_cast<std::size_t>(m_end - m_p); }

    std::uint8_t u8() { return *take(1); }
    std::int16_t i16() {
        const std::uint8_t* p = take(2);
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
    }
    std::int32_t i32() {
        const std::uint8_t* p = take(4);
        const std::uint32_t u = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                                (static_cast<std::uint32_t>(p[2]) << 16) |
                                (static_cast<std::uint32_t>(p[3]) << 24);
        return static_cast<std::int32_t>(u);
    }
    template <typename T, std::size_t N>
    void raw(std::array<T, N>& out) {
        static_assert(sizeof(T) == 1, "raw fields are single bytes");
        std::memcpy(out.data(), take(N), N);
    }
    void skip(std::size_t n) { take(n); }

  private:
    const std::uint8_t* take(std::size_t n) {
        if (remaining() < n) {
            reportCorruption(m_offset, "campo fuera del elemento");
        }
        const std::uint8_t* p = m_p;
        m_p += n;
        return p;
    }

    const std::uint8_t* m_p;
    const std::uint8_t* m_end;
    std::int64_t m_offset;
};

class FieldWriter {
  public:
    FieldWriter(std::uint8_t* begin, std::uint8_t* end) : m_p(begin), m_end(end) {}

    std::uint8_t* position() const { return m_p; }

    void u8(std::uint8_t v) { *take(1) = v; }
    void i16(std::int16_t v) {
        const auto u = static_cast<std::uint16_t>(v);
        std::uint8_t* p = take(2);
        p[0] = static_cast<std::uint8_t>(u & 0xFF);
        p[1] = static_cast<std::uint8_t>(u >> 8);
    }
    void i32(std::int32_t v) {
        const auto u = static_cast<std::uint32_t>(v);
        std::uint8_t* p = take(4);
        for (int i = 0; i < 4; ++i) {
            p[i] = static_cast<std::uint8_t>((u >> (8 * i)) & 0xFF);
        }
    }
    template <typename T, std::size_t N>
    void raw(const std::array<T, N>& in) {
        static_assert(sizeof(T) == 1, "raw fields are single bytes");
        std::memcpy(take(N), in.data(), N);
    }

  private:
    std::uint8_t* take(std::size_t n) {
        if (static_cast<std::size_t>(m_end - m_p) < n) {
            // The writer makes room for the whole element before it starts: this is a fault of ours.
            throw core::RunError(core::errnum::kInternal,
                                 QStringLiteral("Error interno: elemento mayor que su espacio de escritura"));
        }
        std::uint8_t* p = m_p;
        m_p += n;
        return p;
    }

    std::uint8_t* m_p;
    std::uint8_t* m_end;
};

}  // namespace vexilo::drawing
