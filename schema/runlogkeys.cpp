#include "schema/runlogkeys.h"

#include <limits>

#include "catalog/conversion.h"
#include "catalog/openaddressing.h"

namespace vexilo::schema {

RunLogKeys::RunLogKeys(platform::Database& db) {
    const auto filas = db.ReadRows(
        QStringLiteral("CONTROLPROCESO"),
        {QStringLiteral("NombreTabla"), QStringLiteral("mslink"), QStringLiteral("NombreFichero")});
    m_slots.resize(catalog::openaddressing::capacityFor(filas.size()));
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
        insert(tabla.toString(), *mslink, fichero.toString());
    }
}

bool RunLogKeys::contains(const QString& tabla, std::int64_t mslink, const QString& fichero) const {
    const std::uint32_t pair = pairOf(tabla, fichero, false);
    if (pair == 0) {
        return false;
    }
    return m_slots[findSlot(Key{mslink, pair})].pair != 0;
}

void RunLogKeys::insert(const QString& tabla, std::int64_t mslink, const QString& fichero) {
    const Key key{mslink, pairOf(tabla, fichero, true)};
    Key& slot = m_slots[findSlot(key)];
    if (slot.pair != 0) {
        return;
    }
    slot = key;
    if (catalog::openaddressing::mustGrow(++m_count, m_slots.size())) {
        grow();
    }
}

std::uint32_t RunLogKeys::pairOf(const QString& tabla, const QString& fichero, bool create) const {
    for (const KnownPair& known : m_known) {
        if (known.pair != 0 && tabla == known.tabla && fichero == known.fichero) {
            return known.pair;
        }
    }
    const QString name = tabla.toUpper() + QLatin1Char('\n') + fichero.toUpper();
    std::uint32_t pair = m_pairs.value(name, 0);
    if (pair == 0) {
        if (!create) {
            return 0;
        }
        pair = static_cast<std::uint32_t>(m_pairs.size()) + 1;
        m_pairs.insert(name, pair);
    }
    m_known[m_nextKnown] = KnownPair{tabla, fichero, pair};
    m_nextKnown = (m_nextKnown + 1) % m_known.size();
    return pair;
}

std::size_t RunLogKeys::slotHash(const Key& k) {
    return static_cast<std::size_t>(catalog::openaddressing::mix(static_cast<std::uint64_t>(k.mslink) ^
                                                                 (static_cast<std::uint64_t>(k.pair) << 40)));
}

std::size_t RunLogKeys::findSlot(const Key& k) const {
    return catalog::openaddressing::probe(
        slotHash(k), m_slots.size(), [&](std::size_t i) { return m_slots[i].pair == 0 || m_slots[i] == k; });
}

void RunLogKeys::grow() {
    std::vector<Key> old(m_slots.size() * 2);
    old.swap(m_slots);
    for (const Key& k : old) {
        if (k.pair != 0) {
            m_slots[findSlot(k)] = k;
        }
    }
}

}  // namespace vexilo::schema
