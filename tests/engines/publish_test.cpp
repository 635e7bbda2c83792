// A finished file takes its name in one step: the old file is replaced, never removed first.

#include "engines/publish.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "engines/errors.h"

namespace vexilo::engines {
namespace {

void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(Publish, TheNewFileReplacesTheOldOneUnderItsName) {
    QTemporaryDir dir;
    const QString final = dir.filePath(QStringLiteral("mapa_s.bin"));
    const QString written = final + QStringLiteral(".parcial");
    write(final, "viejo");
    write(written, "nuevo");
    publishFile(written, final);
    EXPECT_EQ(read(final), QByteArray("nuevo"));
    EXPECT_FALSE(QFile::exists(written));
}

TEST(Publish, AFailedRenameKeepsWhatHeldTheNameAndSaysWhichFile) {
    QTemporaryDir dir;
    const QString final = dir.filePath(QStringLiteral("mapa_s.bin"));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("mapa_s.bin/dentro")));  // a folder that is not empty
    const QString written = dir.filePath(QStringLiteral("nuevo.parcial"));
    write(written, "nuevo");
    try {
        publishFile(written, final);
        ADD_FAILURE() << "a folder took the file's name";
    } catch (const RunError& e) {
        EXPECT_EQ(e.number(), errnum::kFileAccess);
        EXPECT_TRUE(e.description().contains(QStringLiteral("mapa_s.bin"))) << e.description().toStdString();
    }
    EXPECT_TRUE(QDir(final).exists(QStringLiteral("dentro")));
    EXPECT_EQ(read(written), QByteArray("nuevo"));  // left for the caller, which knows what it is
}

TEST(Publish, AMissingWrittenFileIsAFailureAndLeavesTheOldOne) {
    QTemporaryDir dir;
    const QString final = dir.filePath(QStringLiteral("datos.sqlite"));
    write(final, "viejo");
    EXPECT_THROW(publishFile(dir.filePath(QStringLiteral("no-existe")), final), RunError);
    EXPECT_EQ(read(final), QByteArray("viejo"));
}

}  // namespace
}  // namespace vexilo::engines
