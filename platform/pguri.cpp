// A libpq connection URI taken apart by hand: QUrl refuses a percent-encoded socket folder in the host
// part ("postgresql://%2Fvar%2Frun%2Fpostgresql/bd"), which libpq accepts.

#include <QUrl>

#include "platform/connection.h"
#include "platform/databasename.h"
#include "platform/postgres.h"

namespace vexilo::platform {

namespace {

QString decoded(const QString& part) {
    return QUrl::fromPercentEncoding(part.toUtf8());
}

[[noreturn]] void unreadable(const QString& uri, const QString& why) {
    throwEngineError(errnum::kDatabaseNotFound,
                     QStringLiteral("La dirección de la base de datos '%1' no se puede leer: %2")
                         .arg(shownDatabaseName(uri), why));
}

void readHostAndPort(const QString& uri, const QString& hostPort, ServerAddress& a) {
    if (hostPort.startsWith(QLatin1Char('['))) {
        const qsizetype close = hostPort.indexOf(QLatin1Char(']'));
        if (close < 0) {
            unreadable(uri, QStringLiteral("falta el ']' de la dirección IPv6."));
        }
        a.host = hostPort.mid(1, close - 1);
        const QString rest = hostPort.mid(close + 1);
        if (rest.startsWith(QLatin1Char(':'))) {
            a.port = rest.mid(1);
        } else if (!rest.isEmpty()) {
            unreadable(uri, QStringLiteral("sobra '%1' tras la dirección IPv6.").arg(rest));
        }
        return;
    }
    const qsizetype colon = hostPort.lastIndexOf(QLatin1Char(':'));
    a.host = decoded(colon < 0 ? hostPort : hostPort.left(colon));
    if (colon >= 0) {
        a.port = hostPort.mid(colon + 1);
    }
}

void readParameter(const QString& uri, const QString& item, ServerAddress& a) {
    const qsizetype equals = item.indexOf(QLatin1Char('='));
    if (equals <= 0) {
        unreadable(uri,
                   QStringLiteral("el parámetro '%1' no tiene la forma nombre=valor.").arg(decoded(item)));
    }
    const QString key = decoded(item.left(equals));
    const QString value = decoded(item.mid(equals + 1));
    if (key == QLatin1String("host")) {
        a.host = value;
    } else if (key == QLatin1String("port")) {
        a.port = value;
    } else if (key == QLatin1String("user")) {
        a.user = value;
    } else if (key == QLatin1String("password")) {
        a.password = value;
    } else if (key == QLatin1String("dbname")) {
        a.dbname = value;
    } else {
        a.others[key] = value;
    }
}

}  // namespace

std::map<QString, QString> ServerAddress::keywords(const QString& otherDbname) const {
    std::map<QString, QString> k = others;
    const std::pair<const char*, const QString*> own[] = {
        {"host", &host}, {"port", &port}, {"user", &user}, {"password", &password}, {"dbname", &dbname}};
    for (const auto& [key, value] : own) {
        if (!value->isEmpty()) {
            k[QString::fromLatin1(key)] = *value;
        }
    }
    if (!otherDbname.isEmpty()) {
        k[QStringLiteral("dbname")] = otherDbname;
    }
    return k;
}

ServerAddress parseServerUri(const QString& uri) {
    const qsizetype scheme = uri.indexOf(QLatin1String("://"));
    if (!isServerDatabase(uri) || scheme < 0) {
        unreadable(uri, QStringLiteral("no empieza por postgresql://."));
    }
    QString rest = uri.mid(scheme + 3);
    ServerAddress a;
    QString query;
    const qsizetype question = rest.indexOf(QLatin1Char('?'));
    if (question >= 0) {
        query = rest.mid(question + 1);
        rest = rest.left(question);
    }
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    const QString authority = slash < 0 ? rest : rest.left(slash);
    if (slash >= 0) {
        a.dbname = decoded(rest.mid(slash + 1));
    }
    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const QString userInfo = authority.left(at);
        const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
        a.user = decoded(colon < 0 ? userInfo : userInfo.left(colon));
        if (colon >= 0) {
            a.password = decoded(userInfo.mid(colon + 1));
        }
    }
    readHostAndPort(uri, authority.mid(at + 1), a);
    if (!query.isEmpty()) {
        for (const QString& item : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
            readParameter(uri, item, a);
        }
    }
    bool numbered = false;
    if (!a.port.isEmpty() && (a.port.toInt(&numbered) <= 0 || !numbered || a.port.toInt() > 65535)) {
        unreadable(uri, QStringLiteral("el puerto '%1' no es un número de puerto.").arg(a.port));
    }
    return a;
}

}  // namespace vexilo::platform
