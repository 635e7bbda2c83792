#pragma once
// The stream in which vexilo-accessreader hands an Access file's tables to the importer, over a pipe.
// The reader (libmdb) runs in that separate process so that a damaged file that makes it loop or
// grow cannot take the program with it; the importer treats every byte of the stream as untrusted.
// This header is the one statement of the layout, included by the writer and the reader. It uses no
// Qt: the helper links only libmdb.
//
// The stream is a run of frames. A frame is kind (1 byte), payload length (4 bytes), payload. All
// integers are little-endian; a string is its length (4 bytes) and that many UTF-8 bytes.
//   'C' catalog:   count (4), then count strings: the user tables the file's catalog lists, in order.
//   'T' table:     name (string), declared rows (8, signed), column count (2), then per column:
//                  name (string), kind (1, ColumnKind), size in characters (4; texts only, else 0).
//   'F' row:       one value per column of the current table: tag (1, Value) and its bytes.
//   'E' table end: no payload. Every table of the catalog comes as 'T', its rows, 'E', in order.
//   'D' damaged:   string: what is damaged in the file. Ends the stream.
//   'X' error:     string: a failure that is not damage (a memo too long to import). Ends the stream.
//   'Z' end:       no payload: every table was read whole. Ends the stream.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vexilo::importer::stream {

constexpr std::size_t kFrameHeader = 5;               // kind (1) + payload length (4)
constexpr std::uint32_t kMaxPayload = 64u << 20;      // the largest payload a reader accepts
constexpr std::uint32_t kMaxName = 256;               // bytes of a table or column name
constexpr std::uint32_t kMaxMessage = 4096;           // bytes of a 'D' or 'X' message
constexpr std::uint16_t kMaxColumns = 255;            // Access allows 255 columns per table
constexpr std::int64_t kMaxDeclaredRows = 1LL << 40;  // beyond any Access file (2 GB)

enum Frame : std::uint8_t {
    kCatalog = 'C',
    kTable = 'T',
    kRow = 'F',
    kEndTable = 'E',
    kDamaged = 'D',
    kError = 'X',
    kEnd = 'Z',
};

// A column's kind, as Access declares it.
enum class ColumnKind : std::uint8_t {
    Byte = 1,
    Integer = 2,  // 16-bit
    LongInteger = 3,
    Currency = 4,
    Simple = 5,
    Double = 6,
    Fecha = 7,
    Boolean = 8,
    Text = 9,
    Memo = 10,
    Numeric = 11,
    Guid = 12,
    Ole = 13,
    Binary = 14,
};
constexpr std::uint8_t kMaxColumnKind = 14;

// The tag of one value in a row, and the bytes that follow it.
enum class Value : std::uint8_t {
    Null = 0,     // nothing
    Integer = 1,  // 8 bytes, signed
    Real = 2,     // 8 bytes, IEEE double
    Fecha = 3,    // 8 bytes, IEEE double: days since 30 December 1899, the fraction the time of day
    Text = 4,     // string
    Bytes = 5,    // string (any bytes)
};

// Builds frames and hands each finished one to `send`.
class Writer {
  public:
    explicit Writer(std::function<void(std::string_view)> send) : m_send(std::move(send)) {}

    void begin(Frame tipo) {
        m_frame.assign(1, static_cast<char>(tipo));
        m_frame.append(4, '\0');
    }
    void u8(std::uint8_t v) { m_frame.push_back(static_cast<char>(v)); }
    void u16(std::uint16_t v) { integer(v, 2); }
    void u32(std::uint32_t v) { integer(v, 4); }
    void i64(std::int64_t v) { integer(static_cast<std::uint64_t>(v), 8); }
    void putString(std::string_view s) {
        u32(static_cast<std::uint32_t>(s.size()));
        m_frame.append(s);
    }
    // Fills in the payload length and sends the frame.
    void finish() {
        const auto n = static_cast<std::uint32_t>(m_frame.size() - kFrameHeader);
        for (int i = 0; i < 4; ++i) {
            m_frame[static_cast<std::size_t>(1 + i)] = static_cast<char>((n >> (8 * i)) & 0xff);
        }
        m_send(m_frame);
    }
    // A frame with one string, or none.
    void frame(Frame tipo, std::string_view texto) {
        begin(tipo);
        putString(texto);
        finish();
    }
    void frame(Frame tipo) {
        begin(tipo);
        finish();
    }
    std::size_t size() const { return m_frame.size(); }

  private:
    void integer(std::uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            m_frame.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
        }
    }
    std::function<void(std::string_view)> m_send;
    std::string m_frame;
};

}  // namespace vexilo::importer::stream
