#include "engines/databasename.h"

#include "engines/dao.h"
#include "engines/engines.h"
#include "engines/postgres.h"

namespace vexilo::engines {

bool isServerDatabase(const QString& name) {
    return engineFor(name).server;
}

QString shownDatabaseName(const QString& name) {
    return engineFor(name).shown(name);
}

QString databaseNameRefusal(const QString& name) {
    if (!isPostgresUri(name)) {
        return {};
    }
    try {
        parseServerUri(name);
    } catch (const RunError& e) {
        return e.description();
    }
    return {};
}

}  // namespace vexilo::engines
