#include "engines/dao.h"

namespace vexilo::engines {

Query Query::table(const QString& t) {
    Query q;
    q.m_table = t;
    q.m_isTable = true;
    return q;
}

Query Query::all(const QString& t) {
    Query q;
    q.m_table = t;
    return q;
}

Query Query::mslinkEquals(const QString& t, qint64 n) {
    Query q;
    q.m_table = t;
    q.m_filter = Filter::MslinkEquals;
    q.m_value = n;
    return q;
}

Query Query::mslinkBelow(const QString& t, qint64 limit) {
    Query q;
    q.m_table = t;
    q.m_filter = Filter::MslinkBelow;
    q.m_value = limit;
    q.m_orderByMslink = true;
    return q;
}

QString Query::text() const {
    // Concatenation, not QString::arg: a table name may hold arg's markers.
    if (m_isTable) {
        return m_table;
    }
    switch (m_filter) {
        case Filter::MslinkEquals:
            return QLatin1String("SELECT * FROM ") + m_table + QLatin1String(" WHERE mslink=") +
                   QString::number(m_value) + QLatin1Char(';');
        case Filter::MslinkBelow:
            return QLatin1String("SELECT * FROM ") + m_table + QLatin1String(" WHERE mslink < ") +
                   QString::number(m_value) + QLatin1String(" ORDER BY mslink;");
        case Filter::None:
            break;
    }
    return QLatin1String("Select ") + m_table + QLatin1String(".* from ") + m_table + QLatin1Char(';');
}

}  // namespace vexilo::engines
