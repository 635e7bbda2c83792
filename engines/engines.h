#pragma once
// The engines of the engine layer, one row each: which database names an engine takes, how it opens and
// creates a database, and its SQL dialect. Internal: callers name a database and see only dao.h.
//
// A new engine is new files (its dialect, its opening, its error translation), one row in engines.cpp
// and one entry in the tests' engine list.

#include <QString>
#include <memory>
#include <vector>

namespace vexilo::engines {

class Connection;
class SqlDialect;

struct EngineKind {
    // True when a database name is one of this engine's ("postgresql://..."). The embedded engine comes
    // last and takes every name that no other engine does.
    bool (*recognises)(const QString& name);
    // Opens an existing database; never creates one.
    std::shared_ptr<Connection> (*open)(const QString& name);
    // Creates a new, empty database; an existing one is kDatabaseExists.
    std::shared_ptr<Connection> (*create)(const QString& name);
    // Removes a database that `create` made (no connection to it may be open).
    void (*drop)(const QString& name);
    const SqlDialect& (*dialect)();
    // The name as it may be shown or stored: never with a password.
    QString (*shown)(const QString& name);
    // True for a database on a server, named by an address; false for a file.
    bool server;
};

// Every engine, the embedded one last.
const std::vector<EngineKind>& engines();
// The engine of a database name.
const EngineKind& engineFor(const QString& name);

}  // namespace vexilo::engines
