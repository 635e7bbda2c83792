// The attribute text reader: what a record's text is, the records that hold none, and one read per table.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "catalog/textreader.h"
#include "engines/dao.h"
#include "support/dbfixture.h"

namespace vexilo::catalog {
namespace {

using engines::Database;
using engines::FieldValues;

// Passes everything to a real database and counts the table reads.
class CountingDatabase : public Database {
  public:
    explicit CountingDatabase(std::unique_ptr<Database> inner) : m_inner(std::move(inner)) {}
    int readRowsCalls = 0;

    const QString& path() const override { return m_inner->path(); }
    int TableDefsCount() override { return m_inner->TableDefsCount(); }
    QString TableDefName(int i) override { return m_inner->TableDefName(i); }
    void AppendTableDef(const engines::TableDef& def) override { m_inner->AppendTableDef(def); }
    void AppendField(const QString& t, const engines::FieldDef& fd) override { m_inner->AppendField(t, fd); }
    std::vector<QString> FieldNames(const QString& t) override { return m_inner->FieldNames(t); }
    std::unique_ptr<engines::Recordset> OpenRecordset(const engines::Query& q,
                                                      engines::RecordsetType type) override {
        return m_inner->OpenRecordset(q, type);
    }
    engines::RowId InsertRow(const QString& t, const FieldValues& v) override {
        return m_inner->InsertRow(t, v);
    }
    void UpdateRow(const QString& t, engines::RowId row, const FieldValues& v) override {
        m_inner->UpdateRow(t, row, v);
    }
    std::vector<Row> ReadRows(const QString& t, const std::vector<QString>& columns) override {
        ++readRowsCalls;
        return m_inner->ReadRows(t, columns);
    }
    void BeginTrans() override { m_inner->BeginTrans(); }
    void CommitTrans() override { m_inner->CommitTrans(); }
    void Rollback() override { m_inner->Rollback(); }
    bool InTransaction() const override { return m_inner->InTransaction(); }
    void HoldForJob(std::chrono::milliseconds limit, const std::function<void()>& onWait) override {
        m_inner->HoldForJob(limit, onWait);
    }
    void DiscardOnClose() override { m_inner->DiscardOnClose(); }
    void Close() override { m_inner->Close(); }

  private:
    std::unique_ptr<Database> m_inner;
};

const QVariant kNull;

class TextReaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        auto db = std::make_unique<CountingDatabase>(engines::CreateDatabase(m_dir.filePath("t.db")));
        m_db = db.get();
        m_bd = std::move(db);
        m_texts = std::make_unique<AttributeTexts>(*m_bd);
    }

    void createTable(const QString& name, bool withTmapa = true) {
        engines::TableDef def(name);
        def.Append(engines::TableDef::CreateField("mslink", engines::dbLong));
        def.Append(engines::TableDef::CreateField("tcomplet", engines::dbText));
        if (withTmapa) {
            def.Append(engines::TableDef::CreateField("tmapa", engines::dbText, 100));
        }
        m_bd->AppendTableDef(def);
    }
    void registro(const QString& table, const QVariant& mslink, const QVariant& tmapa,
                  const QVariant& tcomplet) {
        m_bd->InsertRow(table, {{"mslink", mslink}, {"tmapa", tmapa}, {"tcomplet", tcomplet}});
    }
    TextResult read(std::int32_t n, const QString& table, QString& texto) {
        QStringView view = texto;
        const TextResult result = ObtengoTextoBdD(*m_texts, n, table, view);
        texto = view.toString();
        return result;
    }

    QTemporaryDir m_dir;
    CountingDatabase* m_db = nullptr;
    std::unique_ptr<engines::Database> m_bd;
    std::unique_ptr<AttributeTexts> m_texts;  // one job's texts
};

TEST_F(TextReaderTest, RecordTextIsTmapaTrimmedOrTcompletWhenTmapaIsNull) {
    createTable("PARCELAS");
    struct Case {
        QVariant tmapa, tcomplet;
        QString expected;
    };
    const std::vector<Case> cases = {
        {"  Calle  Mayor  ", "otro", "Calle  Mayor"},  // only the ends lose their spaces
        {"\tRío Ebro ", kNull, "\tRío Ebro"},          // a tab is not a space
        {kNull, "  Camino Real ", "Camino Real"},      // a Null tmapa falls back to tcomplet
        {"", "Texto completo", ""},                    // an empty tmapa is the empty text
        {"   ", "Texto completo", ""},                 // so is one of spaces only
        {"mIxTo", kNull, "mIxTo"},                     // case as stored
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        registro("PARCELAS", static_cast<int>(i + 1), cases[i].tmapa, cases[i].tcomplet);
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        QString texto = QStringLiteral("anterior");
        EXPECT_EQ(read(static_cast<std::int32_t>(i + 1), "PARCELAS", texto), TextResult::Found);
        EXPECT_EQ(texto, cases[i].expected) << "record " << i + 1;
    }
}

TEST_F(TextReaderTest, MissingRecordAndRecordWithoutTextLeaveTheTextAsItWas) {
    createTable("PARCELAS");
    registro("PARCELAS", 5, kNull, kNull);
    registro("PARCELAS", kNull, "sin número", kNull);
    QString texto = QStringLiteral("anterior");
    EXPECT_EQ(read(4, "PARCELAS", texto), TextResult::NoSuchRecord);
    EXPECT_EQ(read(0, "PARCELAS", texto),
              TextResult::NoSuchRecord);  // a Null mslink matches nothing
    EXPECT_EQ(read(5, "PARCELAS", texto), TextResult::NoText);
    EXPECT_EQ(texto, QStringLiteral("anterior"));
}

TEST_F(TextReaderTest, SharedNumberReadsTheFirstRecordInStoredOrder) {
    createTable("PARCELAS");
    registro("PARCELAS", 9, kNull, kNull);  // the first holds no text: it still decides
    registro("PARCELAS", 9, "segundo", kNull);
    registro("PARCELAS", 8, "primero", kNull);
    registro("PARCELAS", 8, "segundo", kNull);
    QString texto;
    EXPECT_EQ(read(8, "PARCELAS", texto), TextResult::Found);
    EXPECT_EQ(texto, QStringLiteral("primero"));
    EXPECT_EQ(read(9, "PARCELAS", texto), TextResult::NoText);
}

// A server keeps the stored order in a column of its own and stores an updated record anew, after the
// others: a shared number still reads as its first record in the stored order, not the first found.
TEST(TextReaderOnServer, SharedNumberReadsTheFirstRecordInStoredOrderAfterItWasUpdated) {
    testing::TestDatabase server(testing::Engine::Postgres);
    server.createTable("PARCELAS", {{"mslink", "INTEGER"}, {"tcomplet", "TEXT"}, {"tmapa", "VARCHAR(100)"}});
    server.insertRows(
        "PARCELAS", {{8, kNull, "primero"}, {8, kNull, "segundo"}, {9, kNull, kNull}, {9, kNull, "segundo"}});
    server.exec(
        R"(UPDATE "PARCELAS" SET "tcomplet" = 'tocado' WHERE "tmapa" = 'primero' OR "tmapa" IS NULL)");
    auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(server.path());
    db->BeginTrans();  // as a job reads: in parts, through a cursor
    AttributeTexts texts(*db);
    QStringView view;
    ASSERT_EQ(ObtengoTextoBdD(texts, 8, "PARCELAS", view), TextResult::Found);
    EXPECT_EQ(view.toString(), QStringLiteral("primero"));
    EXPECT_EQ(ObtengoTextoBdD(texts, 9, "PARCELAS", view), TextResult::Found);
    EXPECT_EQ(view.toString(), QStringLiteral("tocado"));  // tcomplet, as tmapa is Null
    db->Rollback();
}

TEST_F(TextReaderTest, EachTableIsReadOnceWhateverTheCaseOfItsName) {
    createTable("PARCELAS");
    createTable("CALLES");
    registro("PARCELAS", 1, "uno", kNull);
    registro("CALLES", 1, "calle", kNull);
    QString texto;
    for (int back = 0; back < 3; ++back) {
        read(1, "PARCELAS", texto);
        EXPECT_EQ(texto, QStringLiteral("uno"));
        read(1, "parcelas", texto);
        read(2, "Parcelas", texto);
        read(1, "CALLES", texto);
        EXPECT_EQ(texto, QStringLiteral("calle"));
    }
    EXPECT_EQ(m_db->readRowsCalls, 2);

    // A new job reads the tables again and sees what changed in between.
    m_texts = std::make_unique<AttributeTexts>(*m_bd);
    registro("PARCELAS", 2, "dos", kNull);
    EXPECT_EQ(read(2, "PARCELAS", texto), TextResult::Found);
    EXPECT_EQ(texto, QStringLiteral("dos"));
    EXPECT_EQ(m_db->readRowsCalls, 3);
}

TEST_F(TextReaderTest, TableWithoutTmapaOrMissingTableIsAnEngineError) {
    createTable("SINTMAPA", false);
    m_bd->InsertRow("SINTMAPA", {{"mslink", 1}, {"tcomplet", "completo"}});
    QString texto;
    EXPECT_THROW(read(1, "SINTMAPA", texto), core::EngineError);
    EXPECT_THROW(read(1, "NOEXISTE", texto), core::EngineError);
}

}  // namespace
}  // namespace vexilo::catalog
