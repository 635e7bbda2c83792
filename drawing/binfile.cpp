#include "drawing/binfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "core/crc32c.h"
#include "core/sidethread.h"
#include "core/systemerror.h"
#include "core/uninitialized.h"
#include "drawing/fields.h"

namespace vexilo::drawing {

using core::RunError;
namespace errnum = core::errnum;

CorruptFile::CorruptFile(std::int64_t offset, const QString& reason)
    : core::Stop(QStringLiteral("Fichero Corrupto"), core::Icon::Critical,
                 QStringLiteral("Elemento en el byte %1: %2").arg(offset).arg(reason)),
      m_offset(offset),
      m_reason(reason) {}

void reportCorruption(std::int64_t offset, const char* reason) {
    throw CorruptFile(offset, QString::fromUtf8(reason));
}

namespace {

// The buffers are not zeroed when made: each byte is written before it is read, and the reader's are
// first written by the reading thread.
using Bytes = std::vector<std::uint8_t, core::UninitializedAllocator<std::uint8_t>>;

constexpr std::int64_t kEarlySyncBytes = std::int64_t{16} << 20;

QString name(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// Why a write failed, in the user's words, from the system's error number.
QString writeCause(int error, const QFile& file) {
    switch (error) {
        case ENOSPC:
            return QStringLiteral("el disco está lleno");
        case EACCES:
        case EPERM:
        case EROFS:
            return QStringLiteral("no hay permiso para escribir en él");
        default:
            return core::fileReason(file, error);
    }
}

[[noreturn]] void writeFailed(const QString& path, const QString& cause) {
    throw RunError(errnum::kFileAccess,
                   QStringLiteral("No se puede escribir el fichero %1: %2").arg(name(path), cause));
}

[[noreturn]] void writeFailed(const QString& path, int error, const QFile& file) {
    writeFailed(path, writeCause(error, file));
}

std::size_t elementSize(const CabeceraElemento& h) {
    return layout::kFixedPartSize +
           layout::kRecordSize * (static_cast<std::size_t>(h.numRegistros) + h.numEnlaces);
}

void readHeader(FieldReader& in, CabeceraElemento& h) {
    in.raw(h.tipo);
    in.raw(h.codigo);
    h.numEnlaces = in.u8();
    h.numRegistros = in.i16();
}

void readRecords(FieldReader& in, std::vector<Record12>& records, std::size_t n) {
    records.resize(n);
    for (Record12& r : records) {
        in.raw(r);
    }
}

void readLinks(FieldReader& in, std::vector<EnlaceAtributo>& links, std::size_t n) {
    links.resize(n);
    for (EnlaceAtributo& l : links) {
        l.entitynum = in.i16();
        l.mslink = in.i32();
        in.raw(l.reservado);
    }
}

}  // namespace

// ---- reader ----

// Two buffers, each a part of the file with room before it: the walk reads one while the next part is
// read into the other on a thread of its own. When the walk needs bytes past its buffer, the
// bytes it has not read yet are copied into the room before the new part and the buffers change places.
struct BinReader::Impl {
    QString path;
    QFile file;
    std::int64_t length = 0;
    std::size_t part = 0;         // bytes read at a time, and the room before them
    Bytes buf;                    // the walk's
    Bytes spare;                  // being filled, its part at offset `part`
    std::size_t begin = 0;        // next unread byte in buf
    std::size_t end = 0;          // bytes of buf holding file data
    std::int64_t bufOffset = 0;   // file offset of buf[0]
    bool atEnd = false;           // the file's end was read
    std::size_t lastElement = 0;  // where in buf the carried element last read starts
    std::size_t lastSize = 0;
    std::int64_t aheadGot = 0;  // what the reading thread read, or a negative count with why:
    QString aheadFailure;       // both the reading thread's until it is waited for
    core::SideThread ahead;     // last: its thread ends before anything it uses goes

    std::int64_t position() const { return bufOffset + static_cast<std::int64_t>(begin); }
    std::size_t available() const { return end - begin; }
    const std::uint8_t* current() const { return buf.data() + begin; }

    // On the reading thread, the file the walk's thread leaves alone until it waits.
    std::int64_t readPart(std::uint8_t* data, std::size_t n, QString& failure) {
        std::size_t got = 0;
        while (got < n) {
            const qint64 r = file.read(reinterpret_cast<char*>(data + got), static_cast<qint64>(n - got));
            if (r < 0) {
                failure = file.errorString();
                return -1;
            }
            if (r == 0) {
                break;
            }
            got += static_cast<std::size_t>(r);
        }
        return static_cast<std::int64_t>(got);
    }

    void readNext() {
        ahead.start([this, into = spare.data() + part] { aheadGot = readPart(into, part, aheadFailure); });
    }

    // Puts the next part of the file after the unread bytes; false when the file has ended.
    bool refill() {
        if (atEnd) {
            return false;
        }
        ahead.wait();
        const std::int64_t got = aheadGot;
        if (got < 0) {
            throw RunError(errnum::kFileAccess, QStringLiteral("No se puede leer el fichero %1: %2")
                                                    .arg(name(path), std::exchange(aheadFailure, QString())));
        }
        if (got == 0) {
            atEnd = true;
            return false;
        }
        const auto n = static_cast<std::size_t>(got);
        const std::size_t left = available();
        const std::int64_t partOffset = bufOffset + static_cast<std::int64_t>(end);
        if (left <= part) {
            std::memcpy(spare.data() + part - left, buf.data() + begin, left);
            std::swap(buf, spare);
            bufOffset = partOffset - static_cast<std::int64_t>(part);
            begin = part - left;
            end = part + n;
        } else {
            // An element longer than a part: the part goes after it, in a buffer grown for both.
            std::memmove(buf.data(), buf.data() + begin, left);
            bufOffset += static_cast<std::int64_t>(begin);
            begin = 0;
            if (buf.size() < left + n) {
                buf.resize(left + n);
            }
            std::memcpy(buf.data() + left, spare.data() + part, n);
            end = left + n;
        }
        readNext();
        return true;
    }

    // Makes n bytes from the current position available in the buffer; false when the file ends first.
    bool ensure(std::size_t n) {
        while (available() < n) {
            if (!refill()) {
                return false;
            }
        }
        return true;
    }

    // Moves n bytes forward over a dropped element that starts at `offset`, reading through it (the
    // part after it is being read already). An element running past the end of the file is damage, like
    // a carried element cut short.
    void skip(std::size_t n, std::int64_t offset) {
        if (available() >= n) {
            begin += n;
            return;
        }
        if (position() + static_cast<std::int64_t>(n) > length) {
            reportCorruption(offset, "el elemento descartado pasa del final del fichero");
        }
        std::size_t rest = n - available();
        begin = end;
        while (rest > 0) {
            if (!refill()) {
                reportCorruption(offset, "el elemento descartado pasa del final del fichero");
            }
            const std::size_t taken = std::min(rest, available());
            begin += taken;
            rest -= taken;
        }
    }
};

BinReader::BinReader(const QString& path, std::size_t bufferSize) : m_impl(std::make_unique<Impl>()) {
    Impl& m = *m_impl;
    m.path = path;
    const QFileInfo info(path);
    if (!info.exists()) {
        throw RunError(errnum::kFileNotFound,
                       QStringLiteral("No se encuentra el fichero %1").arg(name(path)));
    }
    if (!info.isFile()) {
        throw RunError(errnum::kFileAccess, QStringLiteral("%1 no es un fichero").arg(name(path)));
    }
    m.file.setFileName(path);
    if (!m.file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        throw RunError(
            errnum::kFileAccess,
            QStringLiteral("No se puede abrir el fichero %1: %2").arg(name(path), m.file.errorString()));
    }
    m.length = m.file.size();
    m.part = std::max<std::size_t>(bufferSize, layout::kHeaderSize);
    m.buf.resize(2 * m.part);
    m.spare.resize(2 * m.part);
    m.readNext();
}

BinReader::~BinReader() = default;

std::int64_t BinReader::length() const {
    return m_impl->length;
}
std::int64_t BinReader::position() const {
    return m_impl->position();
}
bool BinReader::more() const {
    return position() + 1 < length();
}

bool BinReader::readElement(Element& e, Contents contents) {
    Impl& m = *m_impl;
    const std::int64_t offset = m.position();
    e.offset = offset;
    if (!m.ensure(layout::kHeaderSize)) {
        reportCorruption(offset, "el fichero termina dentro de la cabecera de un elemento");
    }
    FieldReader header(m.current(), m.current() + layout::kHeaderSize, offset);
    readHeader(header, e.header);
    const CabeceraElemento& h = e.header;
    // A negative count would move the walk backwards, even over a dropped element.
    if (h.numRegistros < 0) {
        reportCorruption(offset, "numRegistros negativo");
    }
    const std::size_t size = elementSize(h);
    if (!h.carried()) {
        m.skip(size, offset);
        return false;
    }
    const char classChar = h.elementClass();
    if (classChar != layout::kClassC && classChar != layout::kClassT) {
        reportCorruption(offset, "elemento de clase distinta de C y T");
    }
    if (classChar == layout::kClassT && h.numRegistros == 0) {
        reportCorruption(offset, "elemento de texto sin registro de cuerpo");
    }
    if (!m.ensure(size)) {
        reportCorruption(offset, "el fichero termina dentro del elemento");
    }
    m.lastElement = m.begin;
    m.lastSize = size;
    if (classChar == layout::kClassC && contents == Contents::Headers) {
        m.begin += size;
        return true;
    }
    FieldReader in(m.current(), m.current() + size, offset);
    in.skip(layout::kHeaderSize);
    in.raw(e.block);
    const auto records = static_cast<std::size_t>(h.numRegistros);
    if (classChar == layout::kClassC) {
        readRecords(in, e.body, records);
        e.chunks.clear();
    } else {
        readRecords(in, e.body, 1);
        readRecords(in, e.chunks, records - 1);
    }
    readLinks(in, e.links, h.numEnlaces);
    m.begin += size;
    return true;
}

std::span<const std::uint8_t> BinReader::elementBytes() const {
    return {m_impl->buf.data() + m_impl->lastElement, m_impl->lastSize};
}

void BinReader::close() {
    Impl& m = *m_impl;
    m.ahead.wait();  // the part read ahead is not needed any more
    m.atEnd = true;
    m.file.close();
}

// ---- writer ----

// Two buffers: the walk fills one while the other is written on a thread of its own. A failed write is
// reported at the next flush, sync or close, once.
struct BinWriter::Impl {
    QString path;
    QFile file;
    Bytes buf;    // the walk's
    Bytes spare;  // being written, or free once waited for
    std::size_t used = 0;
    std::int64_t flushed = 0;  // bytes handed over to be written
    std::uint32_t crc = 0;     // of the bytes written: the writing thread's until it is waited for
    QString behindFailure;     // why the last write failed: the writing thread's until it is waited for
    // The early syncs: every kEarlySyncBytes handed over, the disk is asked on a thread of its own to take
    // what the system holds of the file so far.
    int handle = -1;                 // the file's, for the syncing thread
    std::int64_t earlySyncedAt = 0;  // bytes handed over when the last early sync started
    std::atomic<bool> earlySyncing = false;
    int earlySyncError = 0;   // the syncing thread's until it is waited for
    core::SideThread behind;  // last: their threads end before anything they use goes
    core::SideThread earlySync;

    // On the writing thread, the file the walk's thread leaves alone until it waits.
    QString writeOut(const std::uint8_t* data, std::size_t n, std::int64_t at) {
        crc = core::crc32c(crc, data, n);
        errno = 0;
        const qint64 written = file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(n));
        const int error = errno;
        if (written != static_cast<qint64>(n)) {
            return writeCause(error, file);
        }
        startWriteback(at, static_cast<qint64>(n));
        return {};
    }

    // Waits for the write under way and reports its failure, once.
    void awaitWrite() {
        behind.wait();
        if (const QString failure = std::exchange(behindFailure, QString()); !failure.isEmpty()) {
            writeFailed(path, failure);
        }
    }

    // Room for `size` more bytes in the walk's buffer.
    void makeRoom(std::size_t size) {
        if (buf.size() - used < size) {
            flush();
            if (buf.size() < size) {
                buf.resize(size);
            }
        }
    }

    void flush() {
        if (used == 0) {
            return;
        }
        const std::size_t n = used;
        used = 0;  // a failed flush is reported once, not again on close or destruction
        awaitWrite();
        buf.swap(spare);
        if (buf.size() < spare.size()) {
            buf.resize(spare.size());
        }
        behind.start([this, from = spare.data(), n, at = flushed] { behindFailure = writeOut(from, n, at); });
        flushed += static_cast<std::int64_t>(n);
        if (flushed - earlySyncedAt >= kEarlySyncBytes && !earlySyncing.load(std::memory_order_acquire)) {
            startEarlySync();
        }
    }

    // The sync at the close waits for the disk to take every byte the system still holds of the file:
    // some 45 ms for the drawing of a million elements, after the walk, where the disk could have taken
    // most of them while the walk went on. A failure is kept for the closing sync to report: once told
    // to one sync, the system need not tell it again to the next.
    void startEarlySync() {
        earlySync.wait();
        earlySyncedAt = flushed;
        earlySyncing.store(true, std::memory_order_relaxed);
        earlySync.start([this] {
            if (::fdatasync(handle) != 0 && errno != EINVAL && earlySyncError == 0) {
                earlySyncError = errno;
            }
            earlySyncing.store(false, std::memory_order_release);
        });
    }

    // Waits for the early sync under way and reports its failure.
    void awaitEarlySync() {
        earlySync.wait();
        if (const int error = std::exchange(earlySyncError, 0); error != 0) {
            writeFailed(path, error, file);
        }
    }

    // Asks the system to start putting the bytes just written on the disk while the walk goes on, so
    // that the closing sync waits for the last of them only, not for the whole drawing. Only a hint: a
    // file or system that does not take it is synced whole at the end all the same, and any failure of
    // the writing is reported by that sync.
    void startWriteback(std::int64_t from, qint64 n) {
        static_cast<void>(::sync_file_range(file.handle(), from, n, SYNC_FILE_RANGE_WRITE));
    }

    // Everything written so far is on the disk, not only in the system's cache.
    void syncToDisk() {
        flush();
        awaitWrite();
        awaitEarlySync();
        // A device that cannot be synced (EINVAL) holds nothing to wait for.
        if (::fsync(file.handle()) != 0 && errno != EINVAL) {
            writeFailed(path, errno, file);
        }
    }
};

BinWriter::BinWriter(const QString& path, std::size_t bufferSize) : m_impl(std::make_unique<Impl>()) {
    Impl& m = *m_impl;
    m.path = path;
    m.file.setFileName(path);
    if (!m.file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        throw RunError(
            errnum::kFileAccess,
            QStringLiteral("No se puede crear el fichero %1: %2").arg(name(path), m.file.errorString()));
    }
    m.handle = m.file.handle();
    m.buf.resize(std::max<std::size_t>(bufferSize, layout::kFixedPartSize));
    m.spare.resize(m.buf.size());
}

BinWriter::~BinWriter() {
    try {
        m_impl->flush();
    } catch (const RunError&) {
        // Destruction happens while another failure is on its way up; close() reports write failures.
    }
}

void BinWriter::write(const Element& e) {
    Impl& m = *m_impl;
    const CabeceraElemento& h = e.header;
    if (h.numRegistros < 0 || static_cast<std::size_t>(h.numRegistros) != e.body.size() + e.chunks.size() ||
        h.numEnlaces != e.links.size()) {
        throw RunError(
            errnum::kInternal,
            QStringLiteral("Error interno: las cuentas del elemento no coinciden con su contenido al "
                           "escribir el fichero %1")
                .arg(name(m.path)));
    }
    const std::size_t size = elementSize(h);
    m.makeRoom(size);
    FieldWriter out(m.buf.data() + m.used, m.buf.data() + m.used + size);
    out.raw(h.tipo);
    out.raw(h.codigo);
    out.u8(h.numEnlaces);
    out.i16(h.numRegistros);
    out.raw(e.block);
    for (const Record12& r : e.body) {
        out.raw(r);
    }
    for (const Record12& r : e.chunks) {
        out.raw(r);
    }
    for (const EnlaceAtributo& l : e.links) {
        out.i16(l.entitynum);
        out.i32(l.mslink);
        out.raw(l.reservado);
    }
    m.used += size;
}

void BinWriter::writeBytes(std::span<const std::uint8_t> bytes) {
    Impl& m = *m_impl;
    m.makeRoom(bytes.size());
    std::memcpy(m.buf.data() + m.used, bytes.data(), bytes.size());
    m.used += bytes.size();
}

BinWriter::Written BinWriter::written() const {
    return {m_impl->flushed, m_impl->crc};
}

std::int64_t BinWriter::position() const {
    return m_impl->flushed + static_cast<std::int64_t>(m_impl->used);
}

void BinWriter::sync() {
    m_impl->syncToDisk();
}

void BinWriter::close() {
    Impl& m = *m_impl;
    if (!m.file.isOpen()) {
        return;
    }
    try {
        m.syncToDisk();
    } catch (const RunError&) {
        m.earlySync.wait();  // its sync never meets a closed file, nor another file given its number
        m.file.close();
        throw;
    }
    m.file.unsetError();
    m.file.close();
    if (m.file.error() != QFileDevice::NoError) {
        throw RunError(
            errnum::kFileAccess,
            QStringLiteral("No se puede escribir el fichero %1: %2").arg(name(m.path), m.file.errorString()));
    }
}

}  // namespace vexilo::drawing
