// Recordsets: reading in stored order, counts, Null, names in any case, editing and adding rows.

#include <QDateTime>

#include "enginetest.h"

namespace vexilo::testing {
namespace {

using core::EngineError;
using engines::dbOpenDynaset;
using engines::dbOpenSnapshot;
using engines::Query;
namespace errnum = engines::errnum;

class Recordsets : public EngineTest {
  protected:
    void SetUp() override {
        createAttributeTable("PARCELAS");
        // Stored out of mslink order, with a duplicate and a number above the numbering limit.
        file.insertRows("PARCELAS", {{30, "treinta", "30", QVariant(), 1},
                                     {10, QVariant(), "", 7, QVariant()},
                                     {60001, "alta", QVariant(), QVariant(), QVariant()},
                                     {20, "veinte", "veinte", 7, 2},
                                     {10, "otro diez", "diez", QVariant(), QVariant()}});
        db = open();
    }

    std::vector<qint64> mslinksOf(engines::Recordset& r) {
        std::vector<qint64> result;
        if (r.RecordCount() == 0) {
            return result;
        }
        for (r.MoveFirst(); !r.Eof(); r.MoveNext()) {
            result.push_back(r.Value("mslink").toLongLong());
        }
        return result;
    }

    std::unique_ptr<engines::Database> db;
};

TEST_P(Recordsets, UnorderedSourcesListRowsInStoredOrder) {
    const std::vector<qint64> stored = {30, 10, 60001, 20, 10};
    auto all = db->OpenRecordset(Query::all("PARCELAS"), dbOpenSnapshot);
    EXPECT_EQ(mslinksOf(*all), stored);
    auto table = db->OpenRecordset(Query::table("PARCELAS"), dbOpenDynaset);
    EXPECT_EQ(mslinksOf(*table), stored);
    auto equal = db->OpenRecordset(Query::mslinkEquals("PARCELAS", 10), dbOpenSnapshot);
    EXPECT_EQ(mslinksOf(*equal), (std::vector<qint64>{10, 10}));
    equal->MoveLast();
    EXPECT_EQ(equal->Value("tcomplet").toString(), "otro diez");
}

TEST_P(Recordsets, NumberingSortsByMslinkBelowTheLimit) {
    auto r = db->OpenRecordset(Query::mslinkBelow("PARCELAS", 60000), dbOpenSnapshot);
    EXPECT_EQ(mslinksOf(*r), (std::vector<qint64>{10, 10, 20, 30}));
    r->MoveLast();
    EXPECT_EQ(r->Value("mslink").toLongLong(), 30);
}

TEST_P(Recordsets, CountRightAfterOpeningTellsEmptyFromNot) {
    EXPECT_EQ(db->OpenRecordset(Query::mslinkEquals("PARCELAS", 99), dbOpenSnapshot)->RecordCount(), 0);
    EXPECT_TRUE(db->OpenRecordset(Query::mslinkEquals("PARCELAS", 99), dbOpenDynaset)->Eof());
    EXPECT_EQ(db->OpenRecordset(Query::mslinkEquals("PARCELAS", 20), dbOpenSnapshot)->RecordCount(), 1);
    EXPECT_EQ(db->OpenRecordset(Query::all("PARCELAS"), dbOpenSnapshot)->RecordCount(), 5);
}

TEST_P(Recordsets, TableAndFieldNamesMatchInAnyCase) {
    auto r = db->OpenRecordset(Query::all("parcelas"), dbOpenDynaset);
    EXPECT_EQ(r->Value("MSLINK").toInt(), 30);
    EXPECT_EQ(r->Value("TMapa").toString(), "30");
    r->Edit();
    r->SetValue("TFEATURE", 5);
    r->Update();
    EXPECT_EQ(file.rows("PARCELAS")[0][3].toInt(), 5);
    // The stored names, not the caller's spelling, come back from the field list.
    EXPECT_EQ(r->FieldName(0), "MsLink");
    EXPECT_EQ(r->FieldCount(), 5);
    const EngineError e = engineErrorOf([&] { r->Value("no_existe"); });
    EXPECT_EQ(e.number(), errnum::kFieldNotFound);
    EXPECT_TRUE(e.description().contains("PARCELAS"));
}

TEST_P(Recordsets, NullAndEmptyTextStayApart) {
    auto r = db->OpenRecordset(Query::mslinkEquals("PARCELAS", 10), dbOpenDynaset);
    EXPECT_TRUE(r->Value("tcomplet").isNull());
    EXPECT_FALSE(r->Value("tmapa").isNull());
    EXPECT_EQ(r->Value("tmapa").toString(), "");
    // Writing: an empty text (also a null QString) stays a text; a null QVariant is Null.
    r->Edit();
    r->SetValue("tcomplet", QString());
    r->SetValue("tmapa", QVariant());
    r->Update();
    const DbRow stored = file.rows("PARCELAS")[1];
    EXPECT_FALSE(stored[1].isNull());
    EXPECT_EQ(stored[1].toString(), "");
    EXPECT_TRUE(stored[2].isNull());
}

TEST_P(Recordsets, UpdateIsVisibleToALaterRecordsetAlsoInsideATransaction) {
    for (bool inTransaction : {false, true}) {
        SCOPED_TRACE(inTransaction ? "inside a transaction" : "without a transaction");
        if (inTransaction) {
            db->BeginTrans();
        }
        const int number = inTransaction ? 41 : 40;
        auto r = db->OpenRecordset(Query::mslinkEquals("PARCELAS", 20), dbOpenDynaset);
        ASSERT_EQ(r->RecordCount(), 1);
        r->Edit();
        r->SetValue("mslink", number);
        r->Update();
        EXPECT_EQ(r->Value("mslink").toInt(), number);  // the recordset shows what was stored
        r->Close();
        EXPECT_EQ(db->OpenRecordset(Query::mslinkEquals("PARCELAS", number), dbOpenSnapshot)->RecordCount(),
                  1);
        r = db->OpenRecordset(Query::table("PARCELAS"), dbOpenDynaset);
        r->AddNew();
        r->SetValue("mslink", number + 100);
        r->Update();
        EXPECT_EQ(
            db->OpenRecordset(Query::mslinkEquals("PARCELAS", number + 100), dbOpenSnapshot)->RecordCount(),
            1);
        if (inTransaction) {
            db->CommitTrans();
        } else {
            // Written at once: another connection sees it.
            EXPECT_EQ(file.rows("PARCELAS").size(), 6u);
        }
        // back to 20 for the second round
        db->UpdateRow(
            "PARCELAS",
            db->OpenRecordset(Query::mslinkEquals("PARCELAS", number), dbOpenSnapshot)->CurrentRowId(),
            {{"mslink", 20}});
    }
}

TEST_P(Recordsets, EditWritesOnlyTheCurrentRowByItsIdentity) {
    // Two rows share mslink 10: editing the second must leave the first alone.
    auto r = db->OpenRecordset(Query::mslinkEquals("PARCELAS", 10), dbOpenDynaset);
    r->MoveNext();
    r->Edit();
    r->SetValue("tfeature", "123");  // a number given as text is stored in the column's type
    r->Update();
    EXPECT_EQ(r->Value("tfeature").metaType().id(), QMetaType::LongLong);
    const std::vector<DbRow> rows = file.rows("PARCELAS");
    EXPECT_EQ(rows[1][3].toInt(), 7);
    EXPECT_EQ(rows[4][3].toInt(), 123);
}

TEST_P(Recordsets, AddNewStoresOnlyTheFieldsSetAndLeavesTheCurrentRow) {
    auto r = db->OpenRecordset(Query::all("PARCELAS"), dbOpenDynaset);
    r->MoveNext();
    r->AddNew();
    EXPECT_TRUE(r->Value("mslink").isNull());
    r->SetValue("mslink", 50);
    r->SetValue("tmapa", "nuevo");
    r->Update();
    EXPECT_EQ(r->Value("mslink").toInt(), 10);
    EXPECT_EQ(r->RecordCount(), 6);  // the rows already read get the new one at their end
    r->MoveLast();
    EXPECT_EQ(r->Value("mslink").toInt(), 50);
    const DbRow added = file.rows("PARCELAS").back();
    EXPECT_EQ(added[0].toInt(), 50);
    EXPECT_TRUE(added[1].isNull());
    EXPECT_EQ(added[2].toString(), "nuevo");
}

TEST_P(Recordsets, RowsAreReadWhenFirstNeededNotAtOpening) {
    auto r = db->OpenRecordset(Query::table("PARCELAS"), dbOpenDynaset);
    EXPECT_EQ(r->FieldCount(), 5);  // the field list costs no row
    db->InsertRow("PARCELAS", {{"mslink", 77}});
    EXPECT_EQ(r->RecordCount(), 6);
}

TEST_P(Recordsets, MisuseIsAnEngineErrorNamingTheTable) {
    auto snapshot = db->OpenRecordset(Query::all("PARCELAS"), dbOpenSnapshot);
    EXPECT_EQ(engineErrorOf([&] { snapshot->Edit(); }).number(), errnum::kNotUpdatable);
    EXPECT_EQ(engineErrorOf([&] { snapshot->AddNew(); }).number(), errnum::kNotUpdatable);
    auto dynaset = db->OpenRecordset(Query::all("PARCELAS"), dbOpenDynaset);
    EXPECT_EQ(engineErrorOf([&] { dynaset->SetValue("tmapa", "x"); }).number(), errnum::kUpdateWithoutEdit);
    EXPECT_EQ(engineErrorOf([&] { dynaset->Update(); }).number(), errnum::kUpdateWithoutEdit);
    auto empty = db->OpenRecordset(Query::mslinkEquals("PARCELAS", 99), dbOpenDynaset);
    const EngineError e = engineErrorOf([&] { empty->Value("tmapa"); });
    EXPECT_EQ(e.number(), errnum::kNoCurrentRecord);
    EXPECT_TRUE(e.description().contains("PARCELAS"));
    EXPECT_EQ(engineErrorOf([&] { empty->MoveFirst(); }).number(), errnum::kNoCurrentRecord);
    EXPECT_EQ(engineErrorOf([&] { empty->Edit(); }).number(), errnum::kNoCurrentRecord);
    dynaset->Close();
    EXPECT_EQ(engineErrorOf([&] { dynaset->Eof(); }).number(), errnum::kObjectClosed);
}

TEST_P(Recordsets, RecordsetOutlivingItsDatabaseFailsCleanly) {
    auto r = db->OpenRecordset(Query::all("PARCELAS"), dbOpenDynaset);
    db.reset();
    EXPECT_EQ(engineErrorOf([&] { r->RecordCount(); }).number(), errnum::kObjectClosed);
    r->Close();
}

INSTANTIATE_TEST_SUITE_P(Engines, Recordsets, bothEngines(), engineName);

}  // namespace
}  // namespace vexilo::testing
