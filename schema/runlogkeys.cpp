#include "schema/runlogkeys.h"

#include <bit>
#include <limits>

#include "catalog/conversion.h"

namespace vexilo::schema {

RunLogKeys::RunLogKeys(platform::Database& db) {
    const auto filas = db.ReadRows(
        QStringLiteral("CONTROLPROCESO"),
        {QStringLiteral("NombreTabla"), QStringLiteral("mslink"), QStringLiteral("NombreFichero")});
    m_slots.resize(std::bit_ceil(std::max<std::size_t>(64, filas.size() * 2 + 2)));
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
    if (++m_count * 2 > m_slots.size()) {
        grow();
    }
}

std::uint32_t RunLogKeys::pairOf(const QString& tabla, const QString& fichero, bool create) const {
    if (m_lastPair != 0 && tabla == m_lastTabla && fichero == m_lastFichero) {
        return m_lastPair;
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
    m_lastTabla = tabla;
    m_lastFichero = fichero;
    m_lastPair = pair;
    return pair;
}

std::size_t RunLogKeys::slotHash(const Key& k) {
    // A 64-bit mix (from splitmix64) of the mslink and the pair: record numbers are consecutive, and
    // linear probing needs them spread.
    std::uint64_t x = static_cast<std::uint64_t>(k.mslink) ^ (static_cast<std::uint64_t>(k.pair) << 40);
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return static_cast<std::size_t>(x ^ (x >> 31));
}

std::size_t RunLogKeys::findSlot(const Key& k) const {
    const std::size_t mask = m_slots.size() - 1;
    std::size_t i = slotHash(k) & mask;
    while (m_slots[i].pair != 0 && !(m_slots[i] == k)) {
        i = (i + 1) & mask;
    }
    return i;
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
