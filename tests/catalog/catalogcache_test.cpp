// The catalog loads and the three lookups, on real database files.

#include <gtest/gtest.h>

#include <random>

#include "catalog/catalogcache.h"
#include "catalog/exclusion.h"
#include "tests/support/catalogfixture.h"

namespace vexilo::catalog {
namespace {

using testing::CatalogRun;
using testing::CatalogTables;

CatalogTables sample() {
    CatalogTables t;
    t.msCatalog = {{"  PARCELA  ", 7}, {"Edificio", 9}, {"OTRA", 9}, {"VACIA", 0}, {"VACIA", 5}};
    t.feature = {
        {123, "CENTRO", 4}, {123, " PARCELA ", 1}, {123, "SEGUNDA", 1}, {50, "", 1}, {50, "TARDIA", 2}};
    return t;
}

QString feature(const Catalog& catalog, QString codigo) {
    return busca_Feature(catalog, codigo).NombreTabla;
}

TEST(CatalogLoad, CachesTrimmedRowsInOrderAndShowsTheCounts) {
    CatalogRun run(sample());
    cargaMsCatalog(*run.Bd, run.display, run.catalog);
    EXPECT_EQ(run.display.text(core::Control::Label2), "Tablas en MsCatalog : ");
    EXPECT_EQ(run.display.text(core::Control::Text1), "5");
    ASSERT_EQ(run.catalog.NumTablasMsCatalog, 5);
    EXPECT_EQ(run.catalog.TablasMsCatalog[1].tablename, "PARCELA");
    EXPECT_EQ(run.catalog.TablasMsCatalog[3].entitynum, 9);

    cargaFeature(*run.Bd, run.display, run.catalog);
    EXPECT_EQ(run.display.text(core::Control::Label2), "Elementos en Tabla Feature : ");
    EXPECT_EQ(run.display.text(core::Control::Text1), "5");
    EXPECT_EQ(run.catalog.ElementosFeature[2].tablename, "PARCELA");
    EXPECT_EQ(run.catalog.ElementosFeature[1].ftype, 4);
}

TEST(CatalogLoad, EmptyMsCatalogShowsZeroAndFindsNothing) {
    CatalogRun run;
    cargaMsCatalog(*run.Bd, run.display, run.catalog);
    EXPECT_EQ(run.display.text(core::Control::Text1), "0");
    EXPECT_EQ(busca_entitynum(run.catalog, ""), 0);
    EXPECT_EQ(busca_NombreTabla(run.catalog, 0), "");
}

TEST(CatalogLookup, FirstEligibleEntryInLoadOrderWins) {
    CatalogRun run(sample());
    cargaMsCatalog(*run.Bd, run.display, run.catalog);
    cargaFeature(*run.Bd, run.display, run.catalog);
    // The centroid is passed over; of two plain rows the first wins; leading zeros read numerically.
    EXPECT_EQ(feature(run.catalog, "123"), "PARCELA");
    EXPECT_EQ(feature(run.catalog, QString("0000123") + QChar(0) + QChar(0)), "PARCELA");
    // A matching entry with an empty name leaves the output empty, so the scan goes on.
    EXPECT_EQ(feature(run.catalog, "50"), "TARDIA");
    EXPECT_EQ(feature(run.catalog, "51"), "");

    EXPECT_EQ(busca_entitynum(run.catalog, "Edificio"), 9);
    EXPECT_EQ(busca_entitynum(run.catalog, "EDIFICIO"), 0);  // the name match is case-sensitive
    EXPECT_EQ(busca_entitynum(run.catalog, "VACIA"), 5);     // entity number 0 lets the later row answer

    EXPECT_EQ(busca_NombreTabla(run.catalog, 9), "Edificio");
}

TEST(CatalogLookup, TheCodeIsCleanedInPlaceBeforeItIsRead) {
    CatalogRun run(sample());
    cargaMsCatalog(*run.Bd, run.display, run.catalog);
    cargaFeature(*run.Bd, run.display, run.catalog);
    QString codigo = QString("  123") + QChar(0) + "x";
    const FeatureMatch match = busca_Feature(run.catalog, codigo);
    EXPECT_EQ(codigo, "123");
    EXPECT_EQ(match.NombreTabla, "PARCELA");
    EXPECT_EQ(match.passedOver, core::PassedOver::None);
}

core::PassedOver whyNoTable(const Catalog& catalog, QString codigo) {
    const FeatureMatch match = busca_Feature(catalog, codigo);
    EXPECT_EQ(match.NombreTabla.isEmpty(), match.passedOver != core::PassedOver::None)
        << codigo.toStdString();
    return match.passedOver;
}

TEST(CatalogLookup, CodeThatIsNoWholeNumberDesignatesNoFeatureAndSaysSo) {
    CatalogRun run(sample());
    cargaFeature(*run.Bd, run.display, run.catalog);
    for (const QString codigo : {"", "12a", "1 2", "2147483648", "-2147483649", "1.0"}) {
        EXPECT_EQ(whyNoTable(run.catalog, codigo), core::PassedOver::NonNumericCode) << codigo.toStdString();
    }
    EXPECT_EQ(whyNoTable(run.catalog, "+123"), core::PassedOver::None);

    // Without any candidate entry the code is never read, so it is not said to be non-numeric.
    CatalogTables onlyCentroids;
    onlyCentroids.feature = {{1, "C", 4}};
    CatalogRun other(onlyCentroids);
    cargaFeature(*other.Bd, other.display, other.catalog);
    EXPECT_EQ(whyNoTable(other.catalog, "abc"), core::PassedOver::NoFeature);
    EXPECT_EQ(whyNoTable(other.catalog, "1"), core::PassedOver::Centroid);
}

// A code that finds no table says why: its feature is a centroid, or excluded, or there is none (or
// only one without a table name). The first entry passed over for the code decides.
TEST(CatalogLookup, CodeWithoutTableSaysWhetherItsFeatureIsACentroidExcludedOrMissing) {
    CatalogRun run(sample());
    cargaFeature(*run.Bd, run.display, run.catalog);
    run.catalog.ElementosFeature[4].no_asignar = true;  // 50, "" (no table name): excluded as well
    run.catalog.ElementosFeature[5].no_asignar = true;  // 50, TARDIA
    run.catalog.reindexFeature();                       // the indexes are built anew from the flags
    EXPECT_EQ(whyNoTable(run.catalog, "50"), core::PassedOver::Excluded);
    EXPECT_EQ(whyNoTable(run.catalog, "123"),
              core::PassedOver::None);  // the centroid is passed over, PARCELA found
    EXPECT_EQ(whyNoTable(run.catalog, "77"), core::PassedOver::NoFeature);

    CatalogTables t;
    t.feature = {{8, "CENTRO", 4}, {8, "X", 1}, {9, "", 1}};
    CatalogRun centroids(t);
    cargaFeature(*centroids.Bd, centroids.display, centroids.catalog);
    centroids.catalog.ElementosFeature[2].no_asignar = true;
    centroids.catalog.reindexFeature();
    EXPECT_EQ(whyNoTable(centroids.catalog, "8"), core::PassedOver::Centroid);
    EXPECT_EQ(whyNoTable(centroids.catalog, "9"), core::PassedOver::NoFeature);  // a feature without a table
}

// The indexes must answer exactly what the first-match scans answer, on catalogs full of duplicates,
// centroids, excluded entries, empty names and zero entity numbers.
TEST(CatalogLookup, IndexesAgreeWithTheScansOnGeneratedCatalogs) {
    std::mt19937 gen(4);
    auto pick = [&gen](int n) { return static_cast<int>(gen() % static_cast<unsigned>(n)); };
    const QString names[] = {"", "A", "a", "B", " B", "C"};
    for (int round = 0; round < 50; ++round) {
        Catalog f;
        f.NumTablasMsCatalog = pick(12);
        f.TablasMsCatalog.assign(static_cast<std::size_t>(f.NumTablasMsCatalog) + 1, {});
        for (std::int32_t i = 1; i <= f.NumTablasMsCatalog; ++i) {
            f.TablasMsCatalog[static_cast<std::size_t>(i)] = {names[pick(6)], pick(4)};
        }
        f.NumElementosFeature = pick(12);
        f.ElementosFeature.assign(static_cast<std::size_t>(f.NumElementosFeature) + 1, {});
        for (std::int32_t i = 1; i <= f.NumElementosFeature; ++i) {
            f.ElementosFeature[static_cast<std::size_t>(i)] = {
                names[pick(6)], pick(4), static_cast<std::int16_t>(pick(6)), pick(4) == 0};
        }
        for (std::int32_t key = 0; key < 4; ++key) {
            QString expected;
            for (std::int32_t i = 1; expected.isEmpty() && i <= f.NumElementosFeature; ++i) {
                const auto& e = f.ElementosFeature[static_cast<std::size_t>(i)];
                if (e.ftype != 4 && !e.no_asignar && e.mslink == key) {
                    expected = e.tablename.trimmed();
                }
            }
            EXPECT_EQ(feature(f, QString::number(key)), expected);
            expected.clear();
            for (std::int32_t i = 1; expected.isEmpty() && i <= f.NumTablasMsCatalog; ++i) {
                if (f.TablasMsCatalog[static_cast<std::size_t>(i)].entitynum == key) {
                    expected = f.TablasMsCatalog[static_cast<std::size_t>(i)].tablename;
                }
            }
            EXPECT_EQ(busca_NombreTabla(f, key), expected);
        }
        for (const QString& name : names) {
            std::int32_t expected = 0;
            for (std::int32_t i = 1; expected == 0 && i <= f.NumTablasMsCatalog; ++i) {
                if (f.TablasMsCatalog[static_cast<std::size_t>(i)].tablename.trimmed() == name) {
                    expected = f.TablasMsCatalog[static_cast<std::size_t>(i)].entitynum;
                }
            }
            EXPECT_EQ(busca_entitynum(f, name), expected) << name.toStdString();
        }
    }
}

TEST(CatalogLoad, SecondRunWithFewerFeatureRowsNeverSeesTheFirstDatabase) {
    CatalogTables first;
    first.feature = {{1, "UNO"}, {2, "DOS"}, {3, "TRES"}};
    CatalogRun run(first, "first.db");
    cargaFeature(*run.Bd, run.display, run.catalog);
    EXPECT_EQ(feature(run.catalog, "3"), "TRES");

    CatalogTables second;
    second.feature = {{1, "OTRO"}};
    run.switchTo(second, "second.db");
    cargaFeature(*run.Bd, run.display, run.catalog);
    EXPECT_EQ(run.display.text(core::Control::Text1), "1");
    EXPECT_EQ(feature(run.catalog, "1"), "OTRO");
    EXPECT_EQ(feature(run.catalog, "3"), "");
}

// A catalog that does not convert is refused as a whole, naming the table, the row and the field.
TEST(CatalogLoad, RowsThatDoNotConvertStopTheJobWithNothingLoaded) {
    struct Case {
        bool msCatalog;
        testing::MsCatalogRow ms;
        testing::FeatureRow fe;
        QString message;
    };
    const Case cases[] = {
        {true, {QVariant(), 1}, {}, "tabla MsCatalog\rFila 2, campo tablename: nulo"},
        {true, {"T", "doce"}, {}, "tabla MsCatalog\rFila 2, campo entitynum: \"doce\""},
        {true, {"T", QVariant()}, {}, "tabla MsCatalog\rFila 2, campo entitynum: nulo"},
        {true, {"T", "2147483648"}, {}, "tabla MsCatalog\rFila 2, campo entitynum: \"2147483648\""},
        {false, {}, {8, QVariant(), 1}, "tabla Feature\rFila 2 (mslink 8), campo tablename: nulo"},
        {false, {}, {"x", "T", 1}, "tabla Feature\rFila 2, campo mslink: \"x\""},
        {false, {}, {8, "T", "40000"}, "tabla Feature\rFila 2 (mslink 8), campo ftype: \"40000\""},
        {false, {}, {8, "T", QVariant()}, "tabla Feature\rFila 2 (mslink 8), campo ftype: nulo"},
    };
    for (const Case& c : cases) {
        CatalogTables t;
        t.numbersAsText = true;
        t.msCatalog = {{"BUENA", "12"}};  // a numeric text converts
        t.feature = {{" 5 ", "BUENA", "1"}};
        (c.msCatalog ? t.msCatalog.push_back(c.ms) : t.feature.push_back(c.fe));
        CatalogRun run(t);
        try {
            c.msCatalog ? cargaMsCatalog(*run.Bd, run.display, run.catalog)
                        : cargaFeature(*run.Bd, run.display, run.catalog);
            ADD_FAILURE() << "no stop for " << c.message.toStdString();
        } catch (const core::Stop& stop) {
            EXPECT_EQ(stop.message(), "Valor no válido en la " + c.message);
        }
        EXPECT_EQ(run.catalog.NumTablasMsCatalog, 0);
        EXPECT_EQ(run.catalog.NumElementosFeature, 0);
        EXPECT_EQ(run.display.pointers.back(), core::MousePointer::Default);
        c.msCatalog ? cargaFeature(*run.Bd, run.display, run.catalog)
                    : cargaMsCatalog(*run.Bd, run.display, run.catalog);  // the other table loads fine
        EXPECT_EQ(run.display.text(core::Control::Text1), "1");
    }
}

}  // namespace
}  // namespace vexilo::catalog
