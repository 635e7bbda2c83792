// Runs each fuzz target's body over its seeds, so that the targets and their seeds keep working in
// every build (the libFuzzer programs themselves are built only with clang, by `make fuzz`).
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "fuzz/bodies.h"
#include "fuzz/seeds.h"
#include "import/enginedestination.h"

namespace vexilo::fuzz {
namespace {

TEST(FuzzSeeds, TheWalkTargetTakesEverySeedWithoutAFinding) {
    const auto seeds = walkSeeds();
    ASSERT_GE(seeds.size(), 3u);
    for (const Seed& s : seeds) {
        SCOPED_TRACE(s.name);
        EXPECT_NO_THROW(walk(reinterpret_cast<const std::uint8_t*>(s.data.data()), s.data.size()));
    }
}

TEST(FuzzSeeds, TheImportTargetTakesEverySeedAndTheSeedsReachTheTables) {
    QTemporaryDir dir;
    const auto seeds = importSeeds(QStringLiteral(VEXILO_TESTDATA "/nwind.mdb"), dir.path());
    ASSERT_EQ(seeds.size(), 10u);  // eight tables alone, the whole sample, the sample cut short
    for (const Seed& s : seeds) {
        SCOPED_TRACE(s.name);
        EXPECT_NO_THROW(importer(reinterpret_cast<const std::uint8_t*>(s.data.data()), s.data.size()));
        // Every seed but the cut one is a whole, correct stream: the fuzzer starts past the checks.
        auto db = engines::CreateDatabase(QStringLiteral(":memory:"));
        vexilo::importer::EngineDestination destination(*db, QStringLiteral("semilla"), false);
        vexilo::importer::StreamReader reader(destination);
        if (s.name == "cortado") {
            EXPECT_THROW(reader.feed(s.data.data(), s.data.size()), vexilo::importer::ImportError);
            continue;
        }
        reader.feed(s.data.data(), s.data.size());
        EXPECT_NO_THROW(reader.finish());
        EXPECT_EQ(reader.tables().size(), s.name == "completo" ? 8u : 1u);
    }
}

}  // namespace
}  // namespace vexilo::fuzz
