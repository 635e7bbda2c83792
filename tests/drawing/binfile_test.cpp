// The reader and writer on their own: opening, truncating, failing to write, refusing bad counts.

#include "drawing/binfile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "core/crc32c.h"
#include "tests/support/elementbuilder.h"

namespace vexilo::drawing {
namespace {

using testing::ElementBuilder;

Element elementC(int records) {
    Element e;
    e.header.tipo = {'C', '='};
    e.body.resize(static_cast<std::size_t>(records));
    e.header.numRegistros = static_cast<std::int16_t>(records);
    return e;
}

TEST(BinWriter, OpeningTruncatesALongerExistingFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("salida_s.bin"));
    testing::writeFile(path, testing::Bytes(5000, 0xEE));
    BinWriter out(path);
    out.write(elementC(1));
    out.close();
    EXPECT_EQ(QFileInfo(path).size(), 60);
}

// The publication records the output's checksum as it was written: it must be what the file holds,
// across many flushes of a small buffer and an element larger than the buffer.
TEST(BinWriter, WhatItWroteIsTheFilesSizeAndChecksum) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("salida_s.bin"));
    {
        BinWriter out(path, 64);
        for (int i = 0; i < 40; ++i) {
            Element e = elementC(i % 7);
            e.body.assign(e.body.size(), Record12{static_cast<std::uint8_t>(i)});
            out.write(e);
        }
        out.write(elementC(30));
        out.close();
        const testing::Bytes bytes = testing::readFile(path);
        const BinWriter::Written written = out.written();
        EXPECT_EQ(written.size, static_cast<std::int64_t>(bytes.size()));
        EXPECT_EQ(written.crc, core::crc32c(0, bytes.data(), bytes.size()));
        EXPECT_NE(written.crc, 0u);
    }
}

// A drawing of tens of megabytes is synced early, on a thread of its own, while more is written: the file
// holds every byte in order, and the writer can be synced and written to again.
TEST(BinWriter, ALargeDrawingSyncedWhileItIsWrittenIsWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("salida_s.bin"));
    BinWriter out(path);
    testing::Bytes chunk(std::size_t{1} << 20);
    for (int i = 0; i < 40; ++i) {
        std::fill(chunk.begin(), chunk.end(), static_cast<std::uint8_t>(i));
        out.writeBytes(chunk);
        if (i == 20) {
            out.sync();
        }
    }
    out.close();
    const testing::Bytes bytes = testing::readFile(path);
    ASSERT_EQ(bytes.size(), std::size_t{40} << 20);
    for (std::size_t i = 0; i < 40; ++i) {
        EXPECT_EQ(bytes[i << 20], i);
        EXPECT_EQ(bytes[((i + 1) << 20) - 1], i);
    }
    EXPECT_EQ(out.written().crc, core::crc32c(0, bytes.data(), bytes.size()));
}

TEST(BinWriter, DiskFullIsARunErrorNamingTheFile) {
    if (!QFileInfo::exists(QStringLiteral("/dev/full"))) {
        GTEST_SKIP() << "no /dev/full on this system";
    }
    BinWriter out(QStringLiteral("/dev/full"), 64);
    try {
        for (int i = 0; i < 10; ++i) {
            out.write(elementC(2));  // fills the small buffer, so a flush happens here or on close
        }
        out.close();
        FAIL() << "a write to a full disk was reported as success";
    } catch (const core::RunError& e) {
        EXPECT_EQ(e.number(), core::errnum::kFileAccess);
        EXPECT_TRUE(e.description().contains(QStringLiteral("/dev/full"))) << qPrintable(e.description());
        EXPECT_TRUE(e.description().startsWith(QStringLiteral("No se puede escribir el fichero")));
    }
    EXPECT_NO_THROW(out.close()) << "a failure is reported once";
}

TEST(BinWriter, UnwritablePathIsARunErrorNamingTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("no/existe/salida_s.bin"));
    try {
        BinWriter out(path);
        FAIL() << "created a file in a folder that does not exist";
    } catch (const core::RunError& e) {
        EXPECT_EQ(e.number(), core::errnum::kFileAccess);
        EXPECT_TRUE(e.description().contains(QDir::toNativeSeparators(path))) << qPrintable(e.description());
    }
}

TEST(BinWriter, CountsThatDisagreeWithTheContentAreRefused) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.bin"));
    BinWriter out(path);
    Element e = elementC(2);
    e.header.numRegistros = 3;
    EXPECT_THROW(out.write(e), core::RunError);
    e = elementC(0);
    e.links.resize(1);  // numEnlaces still 0
    EXPECT_THROW(out.write(e), core::RunError);
    e.header.numEnlaces = 1;
    out.write(e);
    out.close();
    EXPECT_EQ(QFileInfo(path).size(), 60) << "only the consistent element was written";
}

TEST(BinWriter, ElementsWrittenBeforeAFailureReachTheFileWhenTheWriterGoesAway) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.bin"));
    {
        BinWriter out(path);
        out.write(elementC(1));
        EXPECT_EQ(out.position(), 60);
    }
    EXPECT_EQ(testing::readFile(path), ElementBuilder::c()
                                           .records(std::vector<testing::Rec12>(1, testing::Rec12{}))
                                           .block({})
                                           .codigo(std::string(7, '\0'))
                                           .bytes());
}

TEST(BinReader, MissingFileAndFolderAreRunErrors) {
    QTemporaryDir dir;
    try {
        BinReader in(dir.filePath(QStringLiteral("no_existe.bin")));
        FAIL();
    } catch (const core::RunError& e) {
        EXPECT_EQ(e.number(), core::errnum::kFileNotFound);
        EXPECT_TRUE(e.description().contains(QStringLiteral("no_existe.bin")));
    }
    EXPECT_THROW(BinReader in(dir.path()), core::RunError);
}

TEST(BinReader, CorruptFileShowsTheFixedMessageWithTheCriticalIcon) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("e.bin"));
    testing::writeFile(path, ElementBuilder::tipo('c', '=').bytes());
    BinReader in(path);
    Element e;
    try {
        in.readElement(e);
        FAIL();
    } catch (const CorruptFile& c) {
        EXPECT_EQ(c.message(), QStringLiteral("Fichero Corrupto"));
        EXPECT_EQ(c.icon(), core::Icon::Critical);
        EXPECT_EQ(c.offset(), 0);
        EXPECT_FALSE(c.reason().isEmpty());
    }
}

}  // namespace
}  // namespace vexilo::drawing
