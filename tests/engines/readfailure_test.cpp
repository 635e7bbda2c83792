// A loader's read that fails on the thread that steps it ahead, inside a transaction whose pages SQLite
// had already written to the file: the failure must reach the caller as any failed read does, and the
// rollback leave the database as it was, with nothing beside it.

#include <sqlite3.h>

#include <QFile>
#include <atomic>
#include <thread>

#include "enginetest.h"

namespace vexilo::testing {
namespace {

// The default VFS with reads of the main database file that fail on demand, on every thread but the one
// that made it.
class FailingReads {
  public:
    FailingReads() {
        m_real = sqlite3_vfs_find(nullptr);
        m_vfs = *m_real;
        m_vfs.zName = "vexilo-lecturas-fallidas";
        m_vfs.szOsFile = static_cast<int>(sizeof(File)) + m_real->szOsFile;
        m_vfs.xOpen = &open;
        m_vfs.pAppData = this;
        m_methods = sqlite3_io_methods{};
        m_methods.iVersion = 1;
        m_methods.xClose = [](sqlite3_file* f) { return real(f)->pMethods->xClose(real(f)); };
        m_methods.xRead = &read;
        m_methods.xWrite = [](sqlite3_file* f, const void* b, int n, sqlite3_int64 at) {
            return real(f)->pMethods->xWrite(real(f), b, n, at);
        };
        m_methods.xTruncate = [](sqlite3_file* f, sqlite3_int64 n) {
            return real(f)->pMethods->xTruncate(real(f), n);
        };
        m_methods.xSync = [](sqlite3_file* f, int flags) { return real(f)->pMethods->xSync(real(f), flags); };
        m_methods.xFileSize = [](sqlite3_file* f, sqlite3_int64* n) {
            return real(f)->pMethods->xFileSize(real(f), n);
        };
        m_methods.xLock = [](sqlite3_file* f, int l) { return real(f)->pMethods->xLock(real(f), l); };
        m_methods.xUnlock = [](sqlite3_file* f, int l) { return real(f)->pMethods->xUnlock(real(f), l); };
        m_methods.xCheckReservedLock = [](sqlite3_file* f, int* out) {
            return real(f)->pMethods->xCheckReservedLock(real(f), out);
        };
        m_methods.xFileControl = [](sqlite3_file* f, int op, void* arg) {
            return real(f)->pMethods->xFileControl(real(f), op, arg);
        };
        m_methods.xSectorSize = [](sqlite3_file* f) { return real(f)->pMethods->xSectorSize(real(f)); };
        m_methods.xDeviceCharacteristics = [](sqlite3_file* f) {
            return real(f)->pMethods->xDeviceCharacteristics(real(f));
        };
        sqlite3_vfs_register(&m_vfs, 1);
    }
    ~FailingReads() {
        sqlite3_vfs_unregister(&m_vfs);
        sqlite3_vfs_register(m_real, 1);
    }
    FailingReads(const FailingReads&) = delete;
    FailingReads& operator=(const FailingReads&) = delete;

    // From now on every read of a main database file on another thread fails.
    void failReads(bool fail) { m_failing = fail; }
    // The next `count` reads of a journal fail, on any thread.
    void failJournalReads(int count) { m_journalFailures = count; }
    int failed() const { return m_failed; }

  private:
    struct File {
        sqlite3_file base;
        FailingReads* owner;
        bool mainDb;
        bool journal;
    };
    static sqlite3_file* real(sqlite3_file* f) {
        return reinterpret_cast<sqlite3_file*>(reinterpret_cast<File*>(f) + 1);
    }

    static int open(sqlite3_vfs* vfs, const char* name, sqlite3_file* f, int flags, int* outFlags) {
        auto* self = static_cast<FailingReads*>(vfs->pAppData);
        auto* file = reinterpret_cast<File*>(f);
        file->base.pMethods = nullptr;
        const int rc = self->m_real->xOpen(self->m_real, name, real(f), flags, outFlags);
        if (rc == SQLITE_OK) {
            file->base.pMethods = &self->m_methods;
            file->owner = self;
            file->mainDb = (flags & SQLITE_OPEN_MAIN_DB) != 0;
            file->journal = (flags & SQLITE_OPEN_MAIN_JOURNAL) != 0;
        }
        return rc;
    }
    static int read(sqlite3_file* f, void* buffer, int n, sqlite3_int64 at) {
        const auto* file = reinterpret_cast<File*>(f);
        if (file->mainDb && file->owner->m_failing && std::this_thread::get_id() != file->owner->m_thread) {
            ++file->owner->m_failed;
            return SQLITE_IOERR_READ;
        }
        if (file->journal && file->owner->m_journalFailures.fetch_sub(1) > 0) {
            return SQLITE_IOERR_READ;
        }
        return real(f)->pMethods->xRead(real(f), buffer, n, at);
    }

    sqlite3_vfs* m_real = nullptr;
    sqlite3_vfs m_vfs{};
    sqlite3_io_methods m_methods{};
    std::atomic<bool> m_failing{false};
    std::atomic<int> m_failed{0};
    std::atomic<int> m_journalFailures{0};
    std::thread::id m_thread = std::this_thread::get_id();
};

class ReadFailure : public EngineTest {
  protected:
    QByteArray bytesOfFile() const {
        QFile f(file.path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Opens the database and writes more than the page cache holds inside a transaction, so that
    // SQLite writes pages to the file (their former content in the journal) before any commit.
    std::unique_ptr<engines::Database> openAndSpill() {
        auto db = open();
        db->BeginTrans();
        const QString big(1 << 20, QChar('x'));
        for (int i = 0; i < 24; ++i) {
            db->InsertRow("PARCELAS", {{"mslink", i}, {"tcomplet", big}});
        }
        return db;
    }
    static void closeAfterFailure(engines::Database& db) {
        db.DiscardOnClose();
        try {
            db.Close();  // SQLite may refuse the rollback itself
        } catch (const core::EngineError& e) {
            SCOPED_TRACE(e.description().toStdString());
        }
    }
};

TEST_F(ReadFailure, AReadFailingWhereItIsSteppedAheadFailsAsAnyAndTheRollbackLeavesTheDatabaseAsItWas) {
    createAttributeTable("PARCELAS");
    createAttributeTable("CALLES");
    std::vector<DbRow> rows;
    for (int i = 0; i < 20000; ++i) {
        rows.push_back({i, QStringLiteral("calle %1").arg(i), QStringLiteral("c%1").arg(i), i, 1});
    }
    file.insertRows("CALLES", rows);
    const QByteArray before = bytesOfFile();
    ASSERT_FALSE(before.isEmpty());

    FailingReads reads;
    {
        auto db = openAndSpill();
        reads.failReads(true);
        int handed = 0;
        EXPECT_THROW(db->ForEachStoredRow(
                         "CALLES", {"mslink", "tmapa"},
                         [&](const engines::Database::StoredRow& row) {
                             EXPECT_EQ(row.integer(0), handed);
                             ++handed;
                         },
                         engines::Database::RowHandling::Heavy),
                     core::EngineError);
        reads.failReads(false);
        EXPECT_GT(reads.failed(), 0);  // on the stepping thread
        EXPECT_GT(handed, 0);          // the part read on the caller's own thread
        EXPECT_LT(handed, 20000);
        closeAfterFailure(*db);
    }
    EXPECT_TRUE(bytesOfFile() == before) << "the file is not the database as it was";
    EXPECT_FALSE(QFile::exists(file.path() + QStringLiteral("-journal")));
}

// The disk fails again while SQLite plays its journal back in the rollback: SQLite leaves the file half
// restored and the journal beside it for the next connection to finish. The close finishes it at once,
// so that the file alone is the database as it was as soon as the job says nothing was changed.
TEST_F(ReadFailure, ARollbackThatTheDiskInterruptsIsFinishedWhenTheDatabaseCloses) {
    createAttributeTable("PARCELAS");
    const QByteArray before = bytesOfFile();
    ASSERT_FALSE(before.isEmpty());

    FailingReads reads;
    {
        auto db = openAndSpill();
        reads.failJournalReads(1);
        closeAfterFailure(*db);
    }
    EXPECT_TRUE(bytesOfFile() == before) << "the file is not the database as it was";
    EXPECT_FALSE(QFile::exists(file.path() + QStringLiteral("-journal")));
    EXPECT_EQ(open()->ReadRows("PARCELAS", {"mslink"}).size(), 0U);
}

}  // namespace
}  // namespace vexilo::testing
