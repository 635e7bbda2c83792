#pragma once
// Shared set-up of the engine layer's tests: a temporary database file built with the plain-SQL
// fixture and opened through the engine's default workspace.

#include <gtest/gtest.h>

#include <functional>

#include "platform/dao.h"
#include "support/dbfixture.h"

namespace vexilo::testing {

class EngineTest : public ::testing::Test {
  protected:
    // An attribute table as the system creates it, in the types the engine layer writes.
    void createAttributeTable(const QString& name) {
        file.createTable(name, {{"MsLink", "INTEGER"},
                                {"tcomplet", "TEXT"},
                                {"tmapa", "VARCHAR(100)"},
                                {"tfeature", "INTEGER"},
                                {"clasific", "SMALLINT"}});
    }

    std::unique_ptr<platform::Database> open() {
        return platform::DBEngine::instance().Workspaces(0).OpenDatabase(file.path());
    }

    // Runs `work`, which must throw an EngineError, and gives the error back for a closer look.
    static platform::EngineError engineErrorOf(const std::function<void()>& work) {
        try {
            work();
        } catch (const platform::EngineError& e) {
            return e;
        } catch (const std::exception& e) {
            ADD_FAILURE() << "another exception: " << e.what();
            return platform::EngineError(0, QString());
        }
        ADD_FAILURE() << "no EngineError was thrown";
        return platform::EngineError(0, QString());
    }

    TestDatabase file;
};

}  // namespace vexilo::testing
