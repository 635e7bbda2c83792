// A job's files and its database commit as one: the record a transaction keeps of the files to publish,
// and what whoever opens the database next does with it.

#include "engines/publication.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "core/crc32c.h"
#include "engines/publish.h"
#include "filetext.h"

namespace vexilo::engines {
namespace {

TEST(Checksum, IsCrc32cWhateverTheLengthAndTheWayItIsFed) {
    const QByteArray digits("123456789");
    const auto* bytes = reinterpret_cast<const unsigned char*>(digits.constData());
    EXPECT_EQ(core::crc32c(0, bytes, 9), 0xE3069283u);  // the algorithm's check value
    EXPECT_EQ(core::crc32c(core::crc32c(0, bytes, 4), bytes + 4, 5), 0xE3069283u);

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("f"));
    QByteArray big(3 * 1024 * 1024 + 7, 'x');  // more than one read's worth, not a multiple of eight
    big[12345] = 'y';
    write(file, big);
    const auto sum = fileSum(file);
    ASSERT_TRUE(sum.has_value());
    EXPECT_EQ(sum->size, big.size());
    EXPECT_EQ(sum->crc, core::crc32c(0, reinterpret_cast<const unsigned char*>(big.constData()),
                                     static_cast<std::size_t>(big.size())));
    EXPECT_FALSE(fileSum(dir.filePath(QStringLiteral("ninguno"))).has_value());
}

class PublicationTest : public ::testing::Test {
  protected:
    void SetUp() override { db = CreateDatabase(dir.filePath(QStringLiteral("bd.sqlite"))); }
    void TearDown() override { db->Close(); }
    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }
    // Records `files` in a transaction that commits, as a job does right before its commit.
    void recordCommitted(const std::vector<Publication>& files) {
        db->BeginTrans();
        recordPublications(*db, files);
        db->CommitTrans();
    }
    Publication written(const char* partial, const char* finalName, const QByteArray& bytes) {
        write(path(partial), bytes);
        return {path(partial), path(finalName), *fileSum(path(partial))};
    }

    QTemporaryDir dir;
    std::unique_ptr<Database> db;
};

TEST_F(PublicationTest, ARecordRolledBackWithItsTransactionLeavesNothing) {
    db->BeginTrans();
    recordPublications(*db, {written("a.parcial-1", "a", "nuevo")});
    db->Rollback();
    EXPECT_TRUE(recordedPublications(*db).empty());
    EXPECT_EQ(db->TableDefsCount(), 0);
}

TEST_F(PublicationTest, WholeFilesTakeTheirNamesAndTheRecordGoesWithItsTable) {
    write(path("b"), "viejo");
    const Publication a = written("a.parcial-1", "a", "dibujo");
    const Publication b = written("b.parcial-1", "b", "nuevo");
    recordCommitted({a, b});
    ASSERT_EQ(recordedPublications(*db).size(), 2u);

    const FinishedPublications done = finishPublications(*db);
    EXPECT_EQ(done.published, (std::vector<QString>{path("a"), path("b")}));
    EXPECT_TRUE(done.torn.empty());
    EXPECT_EQ(read(path("a")), QByteArray("dibujo"));
    EXPECT_EQ(read(path("b")), QByteArray("nuevo"));
    EXPECT_FALSE(QFile::exists(a.partial));
    EXPECT_TRUE(recordedPublications(*db).empty());
    EXPECT_EQ(db->TableDefsCount(), 0) << "the database holds nothing of ours once it is done";
}

TEST_F(PublicationTest, AFileThatTookItsNameAlreadyIsDone) {
    const Publication a = written("a.parcial-1", "a", "dibujo");
    recordCommitted({a});
    publishFile(a.partial, a.finalName);  // the job got this far before it died
    const FinishedPublications done = finishPublications(*db);
    EXPECT_TRUE(done.published.empty());
    EXPECT_TRUE(recordedPublications(*db).empty());
    EXPECT_EQ(read(path("a")), QByteArray("dibujo"));
}

// A partial file that is not what was recorded (a disk that lost part of it) is never given the name:
// it stays where it is, with the record, and no removal of dead processes' leftovers takes it.
TEST_F(PublicationTest, ATornFileKeepsItsPlaceAndTheRecord) {
    write(path("a"), "viejo");
    const Publication a = written("a.parcial-999999", "a", "dibujo entero");
    recordCommitted({a});
    write(a.partial, "dibujo");
    const FinishedPublications done = finishPublications(*db);
    EXPECT_EQ(done.torn, std::vector<QString>{a.partial});
    EXPECT_EQ(read(path("a")), QByteArray("viejo"));
    ASSERT_EQ(recordedPublications(*db).size(), 1u);
    removeDeadPartials(path("a"), {a.partial});
    EXPECT_TRUE(QFile::exists(a.partial));
    removeDeadPartials(path("a"));
    EXPECT_FALSE(QFile::exists(a.partial)) << "pid 999999 does not run";
}

}  // namespace
}  // namespace vexilo::engines
