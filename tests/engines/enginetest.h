#pragma once
// Shared set-up of the engine layer's tests: a temporary database built with the plain-SQL fixture
// and opened through the engine's default workspace. A TEST_F runs on a SQLite file; a TEST_P runs
// on each engine that bothEngines() lists (a SQLite file, a database on the PostgreSQL test server).

#include <gtest/gtest.h>

#include <functional>

#include "engines/dao.h"
#include "support/dbfixture.h"

namespace vexilo::testing {

class EngineTest : public ::testing::TestWithParam<Engine> {
  protected:
    EngineTest() : file(currentEngine()) {}

    static Engine currentEngine() {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        return info != nullptr && info->value_param() != nullptr ? GetParam() : Engine::Sqlite;
    }

    // An attribute table as the system creates it, in the types the engine layer writes.
    void createAttributeTable(const QString& name) {
        file.createTable(name, {{"MsLink", "INTEGER"},
                                {"tcomplet", "TEXT"},
                                {"tmapa", "VARCHAR(100)"},
                                {"tfeature", "INTEGER"},
                                {"clasific", "SMALLINT"}});
    }

    std::unique_ptr<engines::Database> open() {
        return engines::DBEngine::instance().Workspaces(0).OpenDatabase(file.path());
    }

    // Runs `work`, which must throw an EngineError, and gives the error back for a closer look.
    static core::EngineError engineErrorOf(const std::function<void()>& work) {
        try {
            work();
        } catch (const core::EngineError& e) {
            return e;
        } catch (const std::exception& e) {
            ADD_FAILURE() << "another exception: " << e.what();
            return core::EngineError(0, QString());
        }
        ADD_FAILURE() << "no EngineError was thrown";
        return core::EngineError(0, QString());
    }

    TestDatabase file;
};

inline auto bothEngines() {
    return ::testing::Values(Engine::Sqlite, Engine::Postgres);
}

inline std::string engineName(const ::testing::TestParamInfo<Engine>& info) {
    return info.param == Engine::Postgres ? "PostgreSQL" : "SQLite";
}

}  // namespace vexilo::testing
