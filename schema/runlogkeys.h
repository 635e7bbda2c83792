#pragma once
// The identities of the rows of CONTROLPROCESO, held in memory for the duplicate test of the log:
// read once per job and kept up to date by the job's own inserts, so a call costs the same whether the
// log holds ten rows or a million.

#include <QHash>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

#include "platform/dao.h"

namespace vexilo::schema {

class RunLogKeys {
  public:
    // Reads NombreTabla, mslink and NombreFichero of every row of CONTROLPROCESO in db. Rows with a
    // Null (or an mslink that is not a whole number) in any of the three can never match and are left out.
    explicit RunLogKeys(platform::Database& db);

    bool contains(const QString& tabla, std::int64_t mslink, const QString& fichero) const;
    void insert(const QString& tabla, std::int64_t mslink, const QString& fichero);
    std::size_t size() const { return m_count; }

  private:
    // A key is the number of its (table, file) pair, names compared upper-cased, and the mslink.
    struct Key {
        std::int64_t mslink = 0;
        std::uint32_t pair = 0;  // 0: an empty slot
        bool operator==(const Key&) const = default;
    };

    // The pair's number; 0 when the pair was never seen (only asked, not inserted).
    std::uint32_t pairOf(const QString& tabla, const QString& fichero, bool create) const;
    static std::size_t slotHash(const Key& k);
    std::size_t findSlot(const Key& k) const;  // the key's slot, or the empty slot where it would go
    void grow();

    // A job asks about the same few tables and two files hundreds of thousands of times, nearly always
    // with one of the few pairs it asked about last (each text is logged against the input file, then
    // against the output): those are tried, as given, before the lookup of the upper-cased names.
    struct KnownPair {
        QString tabla;
        QString fichero;
        std::uint32_t pair = 0;  // 0: not yet used
    };
    mutable std::array<KnownPair, 4> m_known;
    mutable std::size_t m_nextKnown = 0;
    mutable QHash<QString, std::uint32_t> m_pairs;  // "TABLA\nFICHERO", upper-cased -> number from 1

    // Open addressing (catalog/openaddressing.h).
    std::vector<Key> m_slots;
    std::size_t m_count = 0;
};

}  // namespace vexilo::schema
