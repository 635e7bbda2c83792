// Marking the Feature entries listed in NoAsignar.

#include <gtest/gtest.h>

#include "catalog/catalogcache.h"
#include "catalog/exclusion.h"
#include "catalog/tablesearch.h"
#include "tests/support/catalogfixture.h"

namespace vexilo::catalog {
namespace {

using testing::CatalogRun;
using testing::CatalogTables;

const QString kSinNoAsignar =
    "No existe la tabla NoAsignar\rSe asignarán todos los elementos que se encuentren en la tabla FEATURE, "
    "excepto los centroides (ftype=4)";

CatalogTables features() {
    CatalogTables t;
    t.feature = {{10, "A"}, {20, "B"}, {20, "C"}, {30, "D", 4}};
    return t;
}

std::vector<bool> flags(const Catalog& f) {
    std::vector<bool> out;
    for (std::int32_t i = 1; i <= f.NumElementosFeature; ++i) {
        out.push_back(f.ElementosFeature[static_cast<std::size_t>(i)].no_asignar);
    }
    return out;
}

QString lookup(const Catalog& catalog, QString codigo) {
    return busca_Feature(catalog, codigo).NombreTabla;
}

void load(CatalogRun& run) {
    cargaFeature(*run.Bd, run.display, run.catalog);
    MarcaNoAsignar(*run.Bd, run.display, run.catalog);
}

TEST(Exclusion, ListedCodesMarkEveryEntryThatCarriesThem) {
    CatalogTables t = features();
    t.noAsignar = std::vector<QVariant>{20, 99, QVariant()};  // 99: no such feature; Null marks nothing
    CatalogRun run(t);
    load(run);
    EXPECT_EQ(flags(run.catalog), (std::vector<bool>{false, true, true, false}));
    EXPECT_EQ(lookup(run.catalog, "20"), "");
    EXPECT_EQ(lookup(run.catalog, "10"), "A");
    EXPECT_TRUE(run.display.messages.empty());
}

TEST(Exclusion, TableIsFoundWhateverTheCaseOfItsName) {
    CatalogTables t = features();
    t.noAsignar.reset();
    CatalogRun run(t);
    testing::makeTable(*run.Bd, "noasignar", {{"MSLINK", engines::dbLong, 0}}, {{10}});
    load(run);
    EXPECT_TRUE(findTable(*run.Bd, "NoAsignar"));
    EXPECT_EQ(flags(run.catalog), (std::vector<bool>{true, false, false, false}));
}

TEST(Exclusion, EmptyTableMarksNothingSilently) {
    CatalogRun run(features());
    load(run);
    EXPECT_EQ(flags(run.catalog), (std::vector<bool>(4, false)));
    EXPECT_TRUE(run.display.messages.empty());
}

TEST(Exclusion, MissingTableIsToldOnceAndTheJobGoesOnWithOnlyCentroidsPassedOver) {
    CatalogTables t = features();
    t.noAsignar = std::vector<QVariant>{10};
    CatalogRun run(t, "first.db");
    load(run);
    ASSERT_EQ(flags(run.catalog)[0], true);

    CatalogTables without = features();
    without.noAsignar.reset();
    run.switchTo(without, "second.db");
    load(run);
    ASSERT_EQ(run.display.messages.size(), 1u);
    EXPECT_EQ(run.display.messages[0].text, kSinNoAsignar);
    EXPECT_EQ(run.display.messages[0].icon, core::Icon::None);
    EXPECT_EQ(run.display.pointers, std::vector<core::MousePointer>{core::MousePointer::Default});
    EXPECT_EQ(flags(run.catalog), (std::vector<bool>(4, false)));  // the earlier marks are gone
    EXPECT_EQ(lookup(run.catalog, "10"), "A");
    EXPECT_EQ(lookup(run.catalog, "30"), "");
}

TEST(Exclusion, TableWithoutMslinkIsAnEngineError) {
    CatalogTables t = features();
    t.noAsignar.reset();
    CatalogRun run(t);
    testing::makeTable(*run.Bd, "NoAsignar", {{"codigo", engines::dbLong, 0}}, {{10}});
    EXPECT_THROW(load(run), core::EngineError);
}

}  // namespace
}  // namespace vexilo::catalog
