// Opening and creating database files: what is refused, and that a refusal never leaves a file behind.

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "enginetest.h"

namespace vexilo::testing {
namespace {

using core::EngineError;
namespace errnum = engines::errnum;

class Opening : public EngineTest {
  protected:
    void writeFile(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QStringList filesInFolder() const {
        return QDir(QFileInfo(file.path()).absolutePath()).entryList(QDir::Files | QDir::Hidden);
    }
};

TEST_F(Opening, MissingPathIsRefusedWithItsNameAndNoFileIsCreated) {
    const EngineError e = engineErrorOf([&] { open(); });
    EXPECT_EQ(e.number(), errnum::kDatabaseNotFound);
    EXPECT_TRUE(e.description().contains(file.path())) << e.description().toStdString();
    EXPECT_FALSE(QFileInfo::exists(file.path()));
    EXPECT_TRUE(filesInFolder().isEmpty()) << filesInFolder().join(',').toStdString();
}

TEST_F(Opening, FilesThatAreNotDatabasesAreRefusedUnchanged) {
    struct Case {
        const char* what;
        QByteArray bytes;
    };
    const std::vector<Case> cases = {
        {"zero-length file", QByteArray()},
        {"text file", QByteArray("Select * from mscatalog;\n")},
        {"header cut short", QByteArray("SQLite format 3")},
        {"header without its NUL", QByteArray("SQLite format 3!").append(QByteArray(200, 'x'))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(file.path());
        writeFile(file.path(), c.bytes);
        const EngineError e = engineErrorOf([&] { open(); });
        EXPECT_EQ(e.number(), errnum::kNotADatabase);
        EXPECT_TRUE(e.description().contains(file.path()));
        QFile f(file.path());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), c.bytes);
        EXPECT_EQ(filesInFolder(), QStringList{QFileInfo(file.path()).fileName()});
    }
}

TEST_F(Opening, DamagedDatabaseBehindAGoodHeaderIsRefused) {
    QByteArray bytes("SQLite format 3");
    bytes.append('\0');
    bytes.append(QByteArray(4096 - bytes.size(), '\xff'));
    writeFile(file.path(), bytes);
    const EngineError e = engineErrorOf([&] { open(); });
    EXPECT_NE(e.number(), 0);
    EXPECT_TRUE(e.description().contains(file.path())) << e.description().toStdString();
}

TEST_F(Opening, FolderIsNotADatabase) {
    const QString folder = file.pathFor("carpeta.sqlite");
    ASSERT_TRUE(QDir().mkdir(folder));
    const EngineError e =
        engineErrorOf([&] { engines::DBEngine::instance().Workspaces(0).OpenDatabase(folder); });
    EXPECT_EQ(e.number(), errnum::kNotADatabase);
}

TEST_F(Opening, CreatedDatabaseIsRecognisedAndCreateRefusesAnExistingPath) {
    // Characters that mean something in a URI must reach the file system unchanged.
    const QString path = file.pathFor("base de datos #1 ?%20 ñ.sqlite");
    engines::CreateDatabase(path)->Close();
    ASSERT_TRUE(QFileInfo::exists(path));
    auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(path);
    EXPECT_EQ(db->TableDefsCount(), 0);
    db->Close();
    const EngineError e = engineErrorOf([&] { engines::CreateDatabase(path); });
    EXPECT_EQ(e.number(), errnum::kDatabaseExists);
    EXPECT_EQ(QDir(file.pathFor("")).entryList(QDir::Files).size(), 1);
}

TEST_F(Opening, OnlyTheDefaultWorkspaceExists) {
    EXPECT_EQ(&engines::DBEngine::instance().Workspaces(0), &engines::DBEngine::instance().Workspaces(0));
    engineErrorOf([] { engines::DBEngine::instance().Workspaces(1); });
}

}  // namespace
}  // namespace vexilo::testing
