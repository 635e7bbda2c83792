#include "platform/databasename.h"

#include "platform/dao.h"
#include "platform/engines.h"
#include "platform/postgres.h"

namespace vexilo::platform {

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

}  // namespace vexilo::platform
