// A finished file takes its name in one step: the old file is replaced, never removed first.

#include "engines/publish.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "engines/errors.h"
#include "engines/replacement.h"
#include "filetext.h"

namespace vexilo::engines {
namespace {

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

// ---- a whole database file replaced, its old file kept as a backup ----

ino_t inodeOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

QStringList backupsIn(const QTemporaryDir& dir) {
    return QDir(dir.path()).entryList({QStringLiteral("*.bak")}, QDir::Files);
}

// What the steps below saw when they were called: the live file's and the backup's inodes.
ino_t g_liveAtPublish = 0;
ino_t g_backupAtPublish = 0;

void noteIdentities(const QString& finalName) {
    g_liveAtPublish = inodeOf(finalName);
    const QStringList backups = QDir(QFileInfo(finalName).path()).entryList({QStringLiteral("*.bak")});
    g_backupAtPublish = backups.size() == 1 ? inodeOf(QFileInfo(finalName).dir().filePath(backups[0])) : 0;
}

// The rename happens, the folder's sync then fails (as an EIO on fsync would).
void renameThenFail(const QString& written, const QString& finalName) {
    noteIdentities(finalName);
    ASSERT_EQ(std::rename(QFile::encodeName(written).constData(), QFile::encodeName(finalName).constData()),
              0);
    throw RunError(errnum::kFileAccess, QStringLiteral("fallo de E/S"));
}

void failBeforeRename(const QString&, const QString& finalName) {
    noteIdentities(finalName);
    throw RunError(errnum::kFileAccess, QStringLiteral("fallo de E/S"));
}

TEST(Replacement, TheBackupIsAFileOfItsOwnFromTheMomentItIsNamed) {
    QTemporaryDir dir;
    const QString final = dir.filePath(QStringLiteral("datos.sqlite"));
    write(final, "viejo");
    write(final + QStringLiteral(".parcial"), "nuevo");
    g_liveAtPublish = g_backupAtPublish = 0;
    const QString backup = DatabaseReplacement(final, {}, [](const QString& written, const QString& name) {
                               noteIdentities(name);
                               publishFile(written, name);
                           }).publish(final + QStringLiteral(".parcial"));
    ASSERT_NE(g_backupAtPublish, 0u);
    EXPECT_NE(g_backupAtPublish, g_liveAtPublish);  // a later job on the live file never changes it
    EXPECT_EQ(read(backup), QByteArray("viejo"));
    EXPECT_EQ(read(final), QByteArray("nuevo"));
    EXPECT_EQ(backupsIn(dir).size(), 1);
    EXPECT_TRUE(QDir(dir.path()).entryList({QStringLiteral("*.parcial*")}).isEmpty());
}

// After the rename the backup is the only copy of the old file: it stays, and the error says where it is
// and that the new file has the name. Before it, the old file still has its name and the backup goes.
TEST(Replacement, APublicationThatFailsAfterTheRenameKeepsTheBackupAndSaysSo) {
    QTemporaryDir dir;
    const QString final = dir.filePath(QStringLiteral("datos.sqlite"));
    write(final, "viejo");
    write(final + QStringLiteral(".parcial"), "nuevo");
    try {
        DatabaseReplacement(final, {}, renameThenFail).publish(final + QStringLiteral(".parcial"));
        ADD_FAILURE() << "a failed sync went unreported";
    } catch (const NameTakenError& e) {
        ASSERT_EQ(backupsIn(dir).size(), 1);
        EXPECT_EQ(e.backup(), dir.filePath(backupsIn(dir)[0]));
        EXPECT_EQ(read(e.backup()), QByteArray("viejo"));
        EXPECT_TRUE(e.description().contains(QStringLiteral("ya tiene el nombre")))
            << e.description().toStdString();
        EXPECT_TRUE(e.description().contains(e.backup())) << e.description().toStdString();
    }
    EXPECT_EQ(read(final), QByteArray("nuevo"));

    write(final + QStringLiteral(".parcial"), "otro");
    for (const QString& b : backupsIn(dir)) {
        QFile::remove(dir.filePath(b));
    }
    EXPECT_THROW(
        {
            try {
                DatabaseReplacement(final, {}, failBeforeRename).publish(final + QStringLiteral(".parcial"));
            } catch (const NameTakenError&) {
                ADD_FAILURE() << "the old file never lost its name";
                throw;
            }
        },
        RunError);
    EXPECT_EQ(read(final), QByteArray("nuevo"));
    EXPECT_EQ(read(final + QStringLiteral(".parcial")), QByteArray("otro"));
    EXPECT_TRUE(backupsIn(dir).isEmpty());
}

// A replacement killed while it copied the old file leaves the copy under a partial name of the backup;
// the next replacement of that file removes it, and leaves the copy of a process that runs, the backups,
// and the copies of other files.
TEST(Replacement, TheNextReplacementRemovesTheCopiesThatKilledOnesLeft) {
    QTemporaryDir dir;
    const QString final = dir.filePath(QStringLiteral("datos.sqlite"));
    write(final, "viejo");
    write(final + QStringLiteral(".parcial"), "nuevo");
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::_exit(0);
    }
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);  // a process number nobody has now
    const QString dead = final + QStringLiteral(".20240510-101010.bak.parcial-%1").arg(child);
    const QString running = final + QStringLiteral(".20240510-101010-2.bak.parcial-1");  // init
    const QString backup = final + QStringLiteral(".20240510-101010.bak");
    const QString otherFile =
        dir.filePath(QStringLiteral("otros.sqlite.20240510-101010.bak.parcial-%1")).arg(child);
    for (const QString& p : {dead, running, backup, otherFile}) {
        write(p, "copia");
    }
    DatabaseReplacement(final, {}).publish(final + QStringLiteral(".parcial"));
    EXPECT_FALSE(QFile::exists(dead));
    EXPECT_TRUE(QFile::exists(running));
    EXPECT_TRUE(QFile::exists(backup));
    EXPECT_TRUE(QFile::exists(otherFile));
    EXPECT_EQ(read(final), QByteArray("nuevo"));
}

}  // namespace
}  // namespace vexilo::engines
