// A server's connection URI, taken apart by libpq's own parser (PQconninfoParse), so that the engine
// reads every address exactly as libpq will connect to it, and put together again without its password
// for whatever is shown or stored.

#include <libpq-fe.h>

#include <QRegularExpression>
#include <QStringList>
#include <QUrl>
#include <memory>

#include "engines/connection.h"
#include "engines/databasename.h"
#include "engines/postgres.h"

namespace vexilo::engines {

namespace {

const QString kSchemeShort = QStringLiteral("postgres://");
const QString kSchemeLong = QStringLiteral("postgresql://");

QString schemeOnly(const QString& uri) {
    return uri.left(uri.indexOf(QLatin1String("://")) + 3) + QStringLiteral("...");
}

// What a URI that cannot be read may show of itself, so that the user sees what to correct: the user
// name and what follows the last '@' (which comes after any password, whatever it holds), without a
// "password=" parameter; only the scheme when there is no '@' to tell a password from the rest.
QString withoutUnreadablePassword(const QString& uri) {
    const qsizetype start = uri.indexOf(QLatin1String("://")) + 3;
    const qsizetype at = uri.lastIndexOf(QLatin1Char('@'));
    if (at < start) {
        return schemeOnly(uri);
    }
    const QString credentials = uri.mid(start, at - start);
    QString rest = uri.mid(at + 1);
    static const QRegularExpression passwordItem(QStringLiteral("([?&])password=[^&]*&?"));
    rest.replace(passwordItem, QStringLiteral("\\1"));
    if (rest.endsWith(QLatin1Char('?')) || rest.endsWith(QLatin1Char('&'))) {
        rest.chop(1);
    }
    return uri.left(start) + credentials.section(QLatin1Char(':'), 0, 0) + QLatin1Char('@') + rest;
}

[[noreturn]] void unreadable(const QString& uri, const QString& why) {
    throwEngineError(errnum::kDatabaseNotFound,
                     QStringLiteral("La dirección de la base de datos '%1' no se puede leer: %2")
                         .arg(schemeOnly(uri), why));
}

using Options = std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)>;

bool validPort(const QString& port) {
    for (const QString& one : port.split(QLatin1Char(','))) {
        bool ok = false;
        const int n = one.toInt(&ok);
        if (!ok || n <= 0 || n > 65535) {
            return false;
        }
    }
    return true;
}

// A '/' or an '@' written as it is in the user or the password ends them early, and what follows is
// read as the host, the port or the database: parts of the password would then show where the address
// is shown. Such an address is refused, with no part of it shown.
void refuseUnencodedCredentials(const QString& uri, const ServerAddress& a) {
    if (a.host.contains(QLatin1Char('@')) || a.dbname.contains(QLatin1Char('@'))) {
        unreadable(uri, QStringLiteral("el usuario o la contraseña llevan una '/' o una '@' sin codificar "
                                       "(escríbalas como %2F y %40)."));
    }
    if (!a.port.isEmpty() && !validPort(a.port)) {
        unreadable(uri, QStringLiteral("el puerto no es un número de puerto (si la contraseña lleva una "
                                       "'/' o una '@', escríbalas como %2F y %40)."));
    }
}

QString encoded(const QString& part) {
    return QString::fromLatin1(QUrl::toPercentEncoding(part));
}

}  // namespace

bool isPostgresUri(const QString& name) {
    return name.startsWith(kSchemeLong, Qt::CaseInsensitive) ||
           name.startsWith(kSchemeShort, Qt::CaseInsensitive);
}

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
    if (!isPostgresUri(uri)) {
        unreadable(uri, QStringLiteral("no empieza por postgresql://."));
    }
    // libpq takes the scheme in lower case only.
    const qsizetype schemeEnd = uri.indexOf(QLatin1String("://")) + 3;
    const QByteArray text = (uri.left(schemeEnd).toLower() + uri.mid(schemeEnd)).toUtf8();
    char* error = nullptr;
    Options options(PQconninfoParse(text.constData(), &error), &PQconninfoFree);
    if (!options) {
        // libpq's reason may quote the address, password included: it is not shown.
        PQfreemem(error);
        unreadable(uri, QStringLiteral(
                            "no tiene la forma postgresql://usuario@servidor:puerto/base?parámetro=valor."));
    }
    ServerAddress a;
    for (const PQconninfoOption* o = options.get(); o->keyword != nullptr; ++o) {
        if (o->val == nullptr) {
            continue;
        }
        const QString key = QString::fromUtf8(o->keyword);
        const QString value = QString::fromUtf8(o->val);
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
    refuseUnencodedCredentials(uri, a);
    return a;
}

QString ServerAddress::uriWithoutPassword() const {
    // A socket folder goes in the query, where it reads as it is; a server's name or address goes in the
    // authority, an IPv6 address in brackets.
    const bool socketFolder = host.startsWith(QLatin1Char('/'));
    QString authority = user.isEmpty() ? QString() : encoded(user) + QLatin1Char('@');
    if (!socketFolder && !host.isEmpty()) {
        authority +=
            host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : encoded(host);
    }
    if (!port.isEmpty()) {
        authority += QLatin1Char(':') + port;
    }
    QStringList query;
    if (socketFolder) {
        query << QStringLiteral("host=") + host;
    }
    for (const auto& [key, value] : others) {
        if (key == QLatin1String("sslpassword")) {
            continue;
        }
        query << encoded(key) + QLatin1Char('=') + encoded(value);
    }
    QString shown = kSchemeLong + authority + QLatin1Char('/') + encoded(dbname);
    if (!query.isEmpty()) {
        shown += QLatin1Char('?') + query.join(QLatin1Char('&'));
    }
    return shown;
}

namespace {

// libpq's default for a keyword that an address leaves out (the environment's PGHOST, PGUSER, ... or its
// own: port 5432, the system user); empty when it has none.
QString defaultOf(const char* keyword) {
    const Options defaults(PQconndefaults(), &PQconninfoFree);
    for (const PQconninfoOption* o = defaults.get(); o && o->keyword != nullptr; ++o) {
        if (qstrcmp(o->keyword, keyword) == 0) {
            return o->val != nullptr ? QString::fromUtf8(o->val) : QString();
        }
    }
    return {};
}

// The parts that tell one server database from another, defaults filled in.
QStringList canonicalAddress(const QString& uri) {
    const ServerAddress a = parseServerUri(uri);
    QString host = a.host.isEmpty() ? defaultOf("host") : a.host;
    if (!host.startsWith(QLatin1Char('/'))) {
        host = host.toLower();  // a server's name, unlike a socket folder, has no case
    }
    const QString user = a.user.isEmpty() ? defaultOf("user") : a.user;
    const QString port = a.port.isEmpty() ? defaultOf("port") : a.port;
    const QString dbname = a.dbname.isEmpty() ? user : a.dbname;  // libpq's default database is the user's
    return {host, port.isEmpty() ? QStringLiteral("5432") : port, user, dbname};
}

}  // namespace

bool sameServerDatabase(const QString& a, const QString& b) {
    try {
        return canonicalAddress(a) == canonicalAddress(b);
    } catch (const EngineError&) {
        return false;
    }
}

QString shownServerUri(const QString& uri) {
    try {
        return parseServerUri(uri).uriWithoutPassword();
    } catch (const EngineError&) {
        return withoutUnreadablePassword(uri);
    }
}

}  // namespace vexilo::engines
