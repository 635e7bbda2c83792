#pragma once
// Reading and writing drawing files, one element at a time (the drawing is streamed; only the current
// element is in memory). Reads and writes go through buffers of their own, so a map of millions of
// elements costs a few large system calls, not one per record.

#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "core/errors.h"
#include "drawing/element.h"

namespace vexilo::drawing {

// Size of the read and write buffers. The largest element (32767 body records, 255 links) is under
// 400 KB, so one element always fits; a smaller buffer given to the constructors grows when needed.
constexpr std::size_t kBinBufferSize = std::size_t{1} << 20;

// A damaged drawing file. The user sees exactly "Fichero Corrupto" with the critical icon; the offset of
// the element and the reason are its detail (the command line prints it, the window offers it).
class CorruptFile : public core::Stop {
  public:
    CorruptFile(std::int64_t offset, const QString& reason);
    std::int64_t offset() const { return m_offset; }
    const QString& reason() const { return m_reason; }

  private:
    std::int64_t m_offset;
    QString m_reason;
};

// Input drawing file (file number 1).
class BinReader {
  public:
    // Opens for reading; a missing file or one that cannot be opened is a core::RunError.
    explicit BinReader(const QString& path, std::size_t bufferSize = kBinBufferSize);
    ~BinReader();
    BinReader(const BinReader&) = delete;
    BinReader& operator=(const BinReader&) = delete;

    std::int64_t length() const;    // taken once when the file is opened
    std::int64_t position() const;  // offset of the next unread byte
    // True while at least two unread bytes remain: a single trailing byte is neither read nor copied.
    bool more() const;
    // Reads the next element whole into e (its vectors are reused, not reallocated).
    // Returns false for a dropped element (second tipo character not "="), which is skipped by its
    // counts and leaves only e.cabecera and e.offset meaningful.
    // Throws CorruptFile (at the element's offset) for: a header cut short by the end of the file, a
    // negative numRegistros (any element), a carried element of another class than C or T (the test is
    // exact: c and t are other classes), a T element with numRegistros 0, and a carried element that
    // the file ends inside, and a dropped element whose counts run past the end of the file. A failed read of
    // the file itself is a core::RunError.
    // With Contents::Headers a carried C element is read as far as its header only: its body and links
    // keep whatever e held, and elementBytes() gives it as the file holds it.
    enum class Contents { All, Headers };
    bool readElement(Element& e, Contents contents = Contents::All);
    // The bytes of the carried element last read, as the file holds them; valid until the next read.
    std::span<const std::uint8_t> elementBytes() const;
    void close();

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Output drawing file (file number 3). Opening truncates: an old, longer output never leaves stale bytes.
// Elements written before a failure are flushed when the writer is closed or destroyed, so the output
// keeps what was written before a corrupt element stopped the walk.
class BinWriter {
  public:
    // core::RunError (with the file's name) when the file cannot be created.
    explicit BinWriter(const QString& path, std::size_t bufferSize = kBinBufferSize);
    ~BinWriter();  // flushes what is left, quietly: close() is where write failures are reported
    BinWriter(const BinWriter&) = delete;
    BinWriter& operator=(const BinWriter&) = delete;

    // Writes header, block, body records (body, then chunks) and links in that order, the header
    // counts as given. Counts that disagree with what the element holds would leave a file that no
    // longer walks, so they are refused (core::RunError, nothing written).
    // A failed write is a core::RunError naming the file.
    void write(const Element& e);
    // Writes an element's bytes as they are: an element copied unchanged from the input.
    void writeBytes(std::span<const std::uint8_t> bytes);
    std::int64_t position() const;  // bytes written so far, buffered ones included
    // What the file holds once closed (or synced): the size and CRC-32C of every byte the writer put in
    // it (as the file's own checksum would read, without reading it again).
    struct Written {
        std::int64_t size = 0;
        std::uint32_t crc = 0;
    };
    Written written() const;
    // Flushes and waits until the disk holds everything written so far; the file stays open.
    void sync();
    // Flushes to the disk and closes; a failed write or flush is a core::RunError.
    void close();

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace vexilo::drawing
