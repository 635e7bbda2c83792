#include "platform/databasename.h"

#include <QUrl>
#include <QUrlQuery>

namespace vexilo::platform {

bool isServerDatabase(const QString& name) {
    return name.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           name.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

QString shownDatabaseName(const QString& name) {
    if (!isServerDatabase(name)) {
        return name;
    }
    QUrl url(name, QUrl::TolerantMode);
    if (!url.isValid()) {
        // Not a URI that can be taken apart: show its scheme only, never the rest, which may hold a
        // password.
        return name.left(name.indexOf(QLatin1String("://")) + 3) + QStringLiteral("...");
    }
    url.setPassword(QString());
    QUrlQuery query(url);
    if (query.hasQueryItem(QStringLiteral("password"))) {
        query.removeAllQueryItems(QStringLiteral("password"));
        url.setQuery(query);
    }
    return url.toString(QUrl::RemovePassword);
}

}  // namespace vexilo::platform
