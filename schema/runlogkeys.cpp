#include "schema/runlogkeys.h"

#include <limits>

#include "catalog/conversion.h"
#include "catalog/openaddressing.h"
#include "schema/runlog.h"

namespace vexilo::schema {

RunLogKeys::RunLogKeys(engines::Database& db) {
    m_slots.resize(catalog::openaddressing::capacityFor(0));
    const std::vector<QString> columns{QStringLiteral("NombreTabla"), QStringLiteral("mslink"),
                                       QStringLiteral("NombreFichero")};
    db.ForEachStoredRow(
        kControlProceso, columns,
        [this](const engines::Database::StoredRow& row) {
            if (row.isNull(0) || row.isNull(2)) {
                return;
            }
            // A stored mslink equals a 32-bit argument only when it is a whole number; anything else
            // (Null, a fraction, a text that is no number) never matches.
            const auto mslink = catalog::wholeFromRow(row, 1, std::numeric_limits<std::int64_t>::min(),
                                                      std::numeric_limits<std::int64_t>::max());
            if (mslink) {
                insert(Key{*mslink, m_tables.numberOfStored(row, 0), m_files.numberOfStored(row, 2)});
            }
        },
        // A set of keys: the log's rows may come in any order, which spares a server sorting the whole
        // log, a few hundred thousand rows more after every job, before it sends the first.
        engines::Database::RowHandling::Heavy, engines::Database::RowOrder::Any);
}

bool RunLogKeys::contains(const QString& table, std::int64_t mslink, const QString& file) const {
    const Key key = keyOf(table, mslink, file, false);
    if (key.table == 0 || key.file == 0) {
        return false;
    }
    if (dense(mslink)) {
        const Bits* bits = bitsOf(key, false);
        return bits != nullptr && bits->contains(static_cast<std::size_t>(mslink));
    }
    return m_slots[findSlot(key)].table != 0;
}

void RunLogKeys::insert(const QString& table, std::int64_t mslink, const QString& file) {
    insert(keyOf(table, mslink, file, true));
}

void RunLogKeys::insert(const Key& key) {
    const std::int64_t mslink = key.mslink;
    if (dense(mslink)) {
        if (bitsOf(key, true)->insert(static_cast<std::size_t>(mslink))) {
            ++m_count;
        }
        return;
    }
    Key& slot = m_slots[findSlot(key)];
    if (slot.table != 0) {
        return;
    }
    slot = key;
    ++m_count;
    if (catalog::openaddressing::mustGrow(++m_sparse, m_slots.size())) {
        grow();
    }
}

RunLogKeys::Bits* RunLogKeys::bitsOf(const Key& k, bool create) const {
    const std::pair<std::uint32_t, std::uint32_t> pair{k.table, k.file};
    if (m_lastBits != nullptr && pair == m_last) {
        return m_lastBits;
    }
    auto it = m_bits.find(pair);
    if (it == m_bits.end()) {
        if (!create) {
            return nullptr;
        }
        it = m_bits.emplace(pair, Bits{}).first;  // a map's entries stay where they are
    }
    m_last = pair;
    m_lastBits = &it->second;
    return m_lastBits;
}

RunLogKeys::Key RunLogKeys::keyOf(const QString& table, std::int64_t mslink, const QString& file,
                                  bool create) const {
    return Key{mslink, m_tables.numberOf(table, create), m_files.numberOf(file, create)};
}

std::uint32_t RunLogKeys::Names::numberOf(const QString& s, bool create) {
    if (const std::uint32_t* known = byIdentity.find(s)) {
        return *known;
    }
    if (const auto known = bySpelling.constFind(s); known != bySpelling.cend()) {
        byIdentity.remember(s, *known);
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
    byIdentity.remember(s, n);
    return n;
}

std::uint32_t RunLogKeys::Names::numberOfStored(const engines::Database::StoredRow& row, std::size_t column) {
    // The log holds the same few spellings row after row: they are compared as stored, without a copy.
    const std::optional<engines::Database::StoredText> stored = row.text(column);
    if (stored) {
        for (const auto& [spelling, number] : readSpellings) {
            if (std::visit([&](auto t) { return QStringView(spelling) == t; }, *stored)) {
                return number;
            }
        }
    }
    const QString spelling =
        stored ? std::visit([](auto t) { return t.toString(); }, *stored) : row.value(column).toString();
    const std::uint32_t number = numberOf(spelling, true);
    if (stored && readSpellings.size() < kReadSpellings) {
        readSpellings.emplace_back(spelling, number);
    }
    return number;
}

std::size_t RunLogKeys::slotHash(const Key& k) {
    return static_cast<std::size_t>(catalog::openaddressing::mix(static_cast<std::uint64_t>(k.mslink) ^
                                                                 (static_cast<std::uint64_t>(k.table) << 40) ^
                                                                 (static_cast<std::uint64_t>(k.file) << 52)));
}

std::size_t RunLogKeys::findSlot(const Key& k) const {
    return catalog::openaddressing::probe(
        slotHash(k), m_slots.size(), [&](std::size_t i) { return m_slots[i].table == 0 || m_slots[i] == k; });
}

void RunLogKeys::grow() {
    std::vector<Key> old(m_slots.size() * 2);
    old.swap(m_slots);
    for (const Key& k : old) {
        if (k.table != 0) {
            m_slots[findSlot(k)] = k;
        }
    }
}

}  // namespace vexilo::schema
