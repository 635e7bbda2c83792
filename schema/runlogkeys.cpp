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
    const Key key = keyOf(tabla, mslink, fichero, false);
    if (key.tabla == 0 || key.fichero == 0) {
        return false;
    }
    return m_slots[findSlot(key)].tabla != 0;
}

void RunLogKeys::insert(const QString& tabla, std::int64_t mslink, const QString& fichero) {
    const Key key = keyOf(tabla, mslink, fichero, true);
    Key& slot = m_slots[findSlot(key)];
    if (slot.tabla != 0) {
        return;
    }
    slot = key;
    if (catalog::openaddressing::mustGrow(++m_count, m_slots.size())) {
        grow();
    }
}

RunLogKeys::Key RunLogKeys::keyOf(const QString& tabla, std::int64_t mslink, const QString& fichero,
                                  bool create) const {
    return Key{mslink, m_tablas.numberOf(tabla, create), m_ficheros.numberOf(fichero, create)};
}

std::uint32_t RunLogKeys::Names::numberOf(const QString& s, bool create) {
    if (const auto known = bySpelling.constFind(s); known != bySpelling.cend()) {
        return *known;
    }
    const QString name = s.toUpper();
    std::uint32_t n = byName.value(name, 0);
    if (n == 0) {
        if (!create) {
            return 0;
        }
        n = static_cast<std::uint32_t>(byName.size()) + 1;
        byName.insert(name, n);
    }
    bySpelling.insert(s, n);
    return n;
}

std::size_t RunLogKeys::slotHash(const Key& k) {
    return static_cast<std::size_t>(catalog::openaddressing::mix(
        static_cast<std::uint64_t>(k.mslink) ^ (static_cast<std::uint64_t>(k.tabla) << 40) ^
        (static_cast<std::uint64_t>(k.fichero) << 52)));
}

std::size_t RunLogKeys::findSlot(const Key& k) const {
    return catalog::openaddressing::probe(
        slotHash(k), m_slots.size(), [&](std::size_t i) { return m_slots[i].tabla == 0 || m_slots[i] == k; });
}

void RunLogKeys::grow() {
    std::vector<Key> old(m_slots.size() * 2);
    old.swap(m_slots);
    for (const Key& k : old) {
        if (k.tabla != 0) {
            m_slots[findSlot(k)] = k;
        }
    }
}

}  // namespace vexilo::schema
