#pragma once
// The identities of the rows of CONTROLPROCESO, held in memory for the duplicate test of the log:
// read once per job and kept up to date by the job's own inserts, so a call costs the same whether the
// log holds ten rows or a million.

#include <QHash>
#include <QString>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "catalog/growingbits.h"
#include "core/textidentity.h"
#include "engines/dao.h"

namespace vexilo::schema {

class RunLogKeys {
  public:
    // Reads NombreTabla, mslink and NombreFichero of every row of CONTROLPROCESO in db. Rows with a
    // Null (or an mslink that is not a whole number) in any of the three can never match and are left out.
    explicit RunLogKeys(engines::Database& db);

    bool contains(const QString& table, std::int64_t mslink, const QString& file) const;
    void insert(const QString& table, std::int64_t mslink, const QString& file);
    std::size_t size() const { return m_count; }

  private:
    // A key is the mslink and the numbers of its table and file, names compared upper-cased.
    struct Key {
        std::int64_t mslink = 0;
        std::uint32_t table = 0;  // 0: an empty slot
        std::uint32_t file = 0;
        bool operator==(const Key&) const = default;
    };

    // A job asks about the same few tables and two files hundreds of thousands of times, spelled the
    // same few ways: each spelling is looked up as given, and only a new one is upper-cased.
    struct Names {
        core::ByTextIdentity<std::uint32_t> byIdentity;  // the very texts asked before
        QHash<QString, std::uint32_t> bySpelling;        // as given -> number
        QHash<QString, std::uint32_t> byName;            // upper-cased -> number from 1
        // The number of `s`; 0 when its name was never seen and `create` is false.
        std::uint32_t numberOf(const QString& s, bool create);
        // The number of a name read from the log (never Null), made when new.
        std::uint32_t numberOfStored(const engines::Database::StoredRow& row, std::size_t column);
        static constexpr std::size_t kReadSpellings = 32;
        std::vector<std::pair<QString, std::uint32_t>> readSpellings;  // the first ones read from the log
    };

    // The key of a row; a key with a 0 part when a name was never seen (only asked, not inserted).
    Key keyOf(const QString& table, std::int64_t mslink, const QString& file, bool create) const;
    static std::size_t slotHash(const Key& k);
    std::size_t findSlot(const Key& k) const;  // the key's slot, or the empty slot where it would go
    void grow();
    void insert(const Key& key);

    // Keys with a small record number, as nearly every key is, are bits of one set per table and file: a
    // look-up reads a set of some kilobytes that stays in the cache, where the slots of a large log are
    // megabytes read at random. Any other key goes to the slots.
    static constexpr std::int64_t kDenseLimit = std::int64_t{1} << 22;
    static bool dense(std::int64_t mslink) { return mslink >= 0 && mslink < kDenseLimit; }
    using Bits = catalog::GrowingBits;
    // The set of a table and file; null when none was made and `create` is false.
    Bits* bitsOf(const Key& k, bool create) const;

    mutable Names m_tables;
    mutable Names m_files;

    // Open addressing (catalog/openaddressing.h).
    std::vector<Key> m_slots;
    mutable std::map<std::pair<std::uint32_t, std::uint32_t>, Bits> m_bits;  // by table and file
    mutable std::pair<std::uint32_t, std::uint32_t> m_last{0, 0};
    mutable Bits* m_lastBits = nullptr;  // the set of m_last: a job asks about one pair many times in a row
    std::size_t m_count = 0;             // every key
    std::size_t m_sparse = 0;            // the keys in m_slots
};

}  // namespace vexilo::schema
