#include "schema/runlogkeys.h"

#include <QHash>
#include <limits>

#include "catalog/conversion.h"

namespace vexilo::schema {

RunLogKeys::RunLogKeys(platform::Database& db) {
    const auto filas = db.ReadRows(
        QStringLiteral("CONTROLPROCESO"),
        {QStringLiteral("NombreTabla"), QStringLiteral("mslink"), QStringLiteral("NombreFichero")});
    m_keys.reserve(filas.size());
    for (const auto& fila : filas) {
        const QVariant& tabla = fila.values[0];
        const QVariant& fichero = fila.values[2];
        // A stored mslink equals a 32-bit argument only when it is a whole number; anything else
        // (Null, a fraction, a text that is no number) never matches.
        const auto mslink = catalog::wholeFromValue(fila.values[1], std::numeric_limits<std::int64_t>::min(),
                                                    std::numeric_limits<std::int64_t>::max());
        if (tabla.isNull() || fichero.isNull() || !mslink) {
            continue;
        }
        m_keys.insert(makeKey(tabla.toString(), *mslink, fichero.toString()));
    }
}

bool RunLogKeys::contains(const QString& tabla, std::int64_t mslink, const QString& fichero) const {
    return m_keys.count(makeKey(tabla, mslink, fichero)) > 0;
}

void RunLogKeys::insert(const QString& tabla, std::int64_t mslink, const QString& fichero) {
    m_keys.insert(makeKey(tabla, mslink, fichero));
}

const QString& RunLogKeys::UpperNames::of(const QString& name) const {
    auto it = m_upper.constFind(name);
    if (it == m_upper.constEnd()) {
        it = m_upper.insert(name, name.toUpper());
    }
    return *it;
}

RunLogKeys::Key RunLogKeys::makeKey(const QString& tabla, std::int64_t mslink, const QString& fichero) const {
    return Key{m_upper.of(tabla), mslink, m_upper.of(fichero)};
}

std::size_t RunLogKeys::KeyHash::operator()(const Key& k) const {
    std::size_t seed = qHash(k.tabla);
    seed ^= qHash(k.mslink) + 0x9e3779b9 + (seed << 6) + (seed >> 2);
    seed ^= qHash(k.fichero) + 0x9e3779b9 + (seed << 6) + (seed >> 2);
    return seed;
}

}  // namespace vexilo::schema
