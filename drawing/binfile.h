#pragma once
// Reading and writing drawing files, one element at a time (the drawing is streamed; only the current
// element is in memory). Reads and writes go through buffers of their own, so a map of millions of
// elements costs a few large system calls, not one per record.

#include <QString>
#include <cstdint>
#include <memory>

#include "drawing/element.h"
#include "platform/errors.h"

namespace vexilo::drawing {

// A damaged drawing file. The user sees exactly "Fichero Corrupto" with the critical icon; the offset and
// the reason are for the dump tool and the tests.
class CorruptFile : public platform::Stop {
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
    // Opens for reading; a file that cannot be opened is a platform::RunError.
    explicit BinReader(const QString& path);
    ~BinReader();
    std::int64_t length() const;    // taken once when the file is opened
    std::int64_t position() const;  // offset of the next unread byte
    // True while at least two unread bytes remain: a single trailing byte is neither read nor copied.
    bool more() const;
    // Reads the next element whole. Returns false for a dropped element (second tipo character not "="),
    // which is skipped by its counts and leaves only e.cabecera and e.offset meaningful. Throws CorruptFile
    // for a carried element of another class than C or T, a negative numRegistros, a T element with
    // numRegistros 0, or a file that ends inside the element.
    bool readElement(Elemento& e);
    void close();

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Output drawing file (file number 3). Opening truncates: an old, longer output never leaves stale bytes.
class BinWriter {
  public:
    explicit BinWriter(const QString& path);  // platform::RunError when it cannot be created
    ~BinWriter();
    // Writes header, block, body records, chunks and links in that order. numEnlaces and numRegistros
    // are written from the header as given: the caller keeps them equal to what the element holds.
    void write(const Elemento& e);
    std::int64_t position() const;  // bytes written so far
    void close();                   // flushes; a failed write or flush is a platform::RunError

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace vexilo::drawing
