// A database file cut short or overwritten: every read ends in all the rows or in an EngineError,
// never in a crash and never in fewer rows reported as all of them (a read that stops on an error
// halfway must not pass for the end of the table).

#include <QFile>

#include "enginetest.h"

namespace vexilo::testing {
namespace {

using core::EngineError;
using engines::dbOpenSnapshot;
using engines::Query;

constexpr int kRows = 400;

class Corruption : public EngineTest {
  protected:
    void SetUp() override {
        createAttributeTable("PARCELAS");
        std::vector<DbRow> rows;
        for (int i = 0; i < kRows; ++i) {
            rows.push_back({i, QString(40, QChar('a' + i % 26)), QStringLiteral("texto %1").arg(i), i, 1});
        }
        file.insertRows("PARCELAS", rows);
        QFile f(file.path());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        m_good = f.readAll();
    }

    void writeDamaged(const QByteArray& bytes) {
        QFile f(file.path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    // Opens and reads the whole table both ways; returns how the reading ended.
    enum class Outcome { AllRows, EngineError, Other };
    Outcome readEverything() {
        try {
            auto db = open();
            for (int i = 0; i < db->TableDefsCount(); ++i) {
                db->FieldNames(db->TableDefName(i));
            }
            const std::size_t fast = db->ReadRows("PARCELAS", {"mslink", "tmapa"}).size();
            auto r = db->OpenRecordset(Query::all("PARCELAS"), dbOpenSnapshot);
            const int slow = r->RecordCount();
            return fast == kRows && slow == kRows ? Outcome::AllRows : Outcome::Other;
        } catch (const EngineError&) {
            return Outcome::EngineError;
        } catch (...) {
            return Outcome::Other;
        }
    }

    QByteArray m_good;
};

TEST_F(Corruption, DamagedFileEndsInAllRowsOrAnEngineError) {
    ASSERT_GT(m_good.size(), 4 * 4096);  // several pages, so damage falls inside the table's data
    int refused = 0;
    // Cut short at many points, and overwritten in 64-byte stretches.
    for (qsizetype cut = 100; cut < m_good.size(); cut += 1531) {
        SCOPED_TRACE(cut);
        writeDamaged(m_good.left(cut));
        const Outcome o = readEverything();
        EXPECT_NE(o, Outcome::Other);
        refused += o == Outcome::EngineError ? 1 : 0;
    }
    for (qsizetype at = 100; at < m_good.size(); at += 997) {
        SCOPED_TRACE(at);
        QByteArray damaged = m_good;
        for (qsizetype i = at; i < std::min(at + 64, damaged.size()); ++i) {
            damaged[i] = static_cast<char>(damaged[i] ^ 0x5a);
        }
        writeDamaged(damaged);
        const Outcome o = readEverything();
        EXPECT_NE(o, Outcome::Other);
        refused += o == Outcome::EngineError ? 1 : 0;
    }
    EXPECT_GT(refused, 10);  // the damage was really met
}

}  // namespace
}  // namespace vexilo::testing
