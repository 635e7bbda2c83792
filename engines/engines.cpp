#include "engines/engines.h"

#include "engines/dialect.h"
#include "engines/postgres.h"
#include "engines/sqlite.h"

namespace vexilo::engines {

namespace {

bool anyName(const QString& /*name*/) {
    return true;
}

QString asGiven(const QString& name) {
    return name;
}

}  // namespace

const std::vector<EngineKind>& engines() {
    static const std::vector<EngineKind> kinds{
        {isPostgresUri, openServerDatabase, createServerDatabase, dropServerDatabase, postgresDialect,
         shownServerUri, true},
        {anyName, openSqliteDatabase, createSqliteDatabase, dropSqliteDatabase, sqliteDialect, asGiven,
         false},
    };
    return kinds;
}

const EngineKind& engineFor(const QString& name) {
    for (const EngineKind& kind : engines()) {
        if (kind.recognises(name)) {
            return kind;
        }
    }
    return engines().back();
}

}  // namespace vexilo::engines
