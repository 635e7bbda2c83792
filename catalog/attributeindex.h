#pragma once
// In-memory index of one attribute table, so that the assignment pass does not read the whole table for
// every text element. It answers exactly what a scan of the table in its natural (stored) order would:
//
// - the first record holding a text whose Tfeature is Null (free to claim) or is the code (sameCode);
// - the first record carrying a record number (the one a renumbering changes);
// - the highest record number below 60000 (the numbering rule of new records).
//
// The index holds no text or code values beyond what it needs to answer these questions, and it is kept
// in step with every write of the run by the writer (claims, additions, renumberings): it never reads the
// database again on its own. Only the writer writes attribute tables during a run.
//
// A record "holds" a text when its tmapa (or its tcomplet, when tmapa is Null or "") is not Null and,
// trimmed of spaces and upper-cased, equals the text's key. A record whose text column is Null, or whose
// mslink is Null or not a whole number, holds no text: it is never found by text, and a record without a
// whole mslink takes no part in numbering or renumbering either.

#include <QHash>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <memory_resource>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/mslinkpositions.h"
#include "catalog/texttable.h"
#include "core/textidentity.h"
#include "engines/dao.h"

namespace vexilo::catalog {

// Columns the index is loaded from, in this order (Database::ReadRows).
inline const std::vector<QString> kIndexColumns = {QStringLiteral("mslink"), QStringLiteral("tmapa"),
                                                   QStringLiteral("tcomplet"), QStringLiteral("tfeature")};

// Record numbers given by the numbering rule stay below this; records at or above it are never counted.
constexpr std::int64_t kNumberingLimit = 60000;

// The comparison key of a text: trimmed of spaces (code 32 only) and upper-cased.
QString textKey(const QString& texto);

// A code as a record's Tfeature is compared with an element's code: its text, and the whole number it
// reads as. The view is over the text it was made from, which must outlive it.
struct CodeValue {
    std::u16string_view text;
    std::optional<std::int32_t> number;  // none for a text that is no decimal whole number within 32 bits
};

// The whole number a code or a Tfeature text reads as: trimmed of spaces (as wholeFromValue trims a
// text), then an optional sign and decimal digits within 32 bits (as busca_Feature reads a code).
std::optional<std::int32_t> codeNumber(QStringView code);
CodeValue codeValue(const QString& code);

// Whether a record whose Tfeature reads `stored` belongs to the element's code `code`: the same text, or
// both read as the same whole number. A numeric column keeps the code "000301" as 301 and a text column
// may hold "301 ": both still belong to "000301", so a job repeated on a sheet takes the records the
// earlier one added instead of adding them again. Both the index and the writer decide by this alone.
bool sameCode(const CodeValue& stored, const CodeValue& code);

class AttributeIndex {
  public:
    using Pos = std::uint32_t;  // position of a record in natural order

    struct Found {
        Pos pos;
        engines::RowId id;
        std::int32_t mslink;
        bool unclaimed;  // Tfeature is Null: the caller claims it before taking it
    };

    AttributeIndex() = default;
    AttributeIndex(const AttributeIndex&) = delete;
    AttributeIndex& operator=(const AttributeIndex&) = delete;

    // Builds the index, once, from every row of the table in stored order, columns as kIndexColumns:
    // row after row as the engine reads them, or all at once.
    void loadRow(const engines::Database::StoredRow& row);
    void load(const std::vector<engines::Database::Row>& rows);

    // The first record in natural order holding `key` whose Tfeature is Null or is the code `codigo`
    // (sameCode): with duplicates of one code written in different forms, the first of them all.
    std::optional<Found> first(const QString& key, const QString& codigo) const;
    // After a claim of the record at `pos` (found unclaimed for `key`): its Tfeature now reads `stored`.
    void claimed(const QString& key, Pos pos, const QString& stored);

    // A record added at the end of the table. `key` is std::nullopt for a record that holds no text.
    // Returns false when the new row does not come last in natural order (the caller reloads).
    bool added(engines::RowId id, std::int32_t mslink, const std::optional<QString>& key,
               const QString& stored);

    // The first record in natural order whose mslink is `n`.
    std::optional<engines::RowId> firstWithMslink(std::int64_t n) const;
    // The first record numbered `from` now carries `to`.
    void renumbered(std::int64_t from, std::int64_t to);

    // The highest record number below kNumberingLimit, if any record has one.
    std::optional<std::int64_t> highestBelowLimit() const { return m_highestBelowLimit; }

    std::size_t size() const { return m_records.size(); }

  private:
    // The index's texts live in one arena, released in a few blocks with the index: a table of 20,000
    // records would otherwise be some 20,000 small allocations to make and, at the job's end, to free
    // one by one.
    using Text = std::pmr::u16string;
    static std::u16string_view view(const QString& s) {
        return {reinterpret_cast<const char16_t*>(s.constData()), static_cast<std::size_t>(s.size())};
    }

    static constexpr Pos kNoPos = ~Pos{0};

    // A Tfeature text as the table's records hold it, kept once for the table however many records
    // hold it: a table of 20,000 records holds a few hundred different codes.
    struct Code {
        Text text;
        std::optional<std::int32_t> number;  // what `text` reads as (codeNumber), read once
    };
    using CodeId = std::uint32_t;  // index in m_codes
    static constexpr CodeId kNoCode = ~CodeId{0};
    struct CodeSlot {
        using allocator_type = std::pmr::polymorphic_allocator<>;
        explicit CodeSlot(const allocator_type& /*a*/) {}
        CodeId id = kNoCode;  // until the code is kept
    };

    // The first record, in natural order, of one text whose Tfeature reads `code`: records are never
    // taken from a code, so the first of them is all a lookup needs.
    struct Owned {
        CodeId code;
        Pos first;
    };

    // Records holding one text: the unclaimed ones in natural order (consumed from the front: a claim
    // always takes the first of them), linked through Record::nextUnclaimed, and the first claimed one of
    // each Tfeature text. Most texts are held by one record, so an entry is a few numbers: the first
    // code is kept in it, any other in a list of m_moreCodes.
    struct ByText {
        using allocator_type = std::pmr::polymorphic_allocator<>;
        explicit ByText(const allocator_type& /*a*/) {}

        Pos firstUnclaimed = kNoPos;
        Pos lastUnclaimed = kNoPos;  // where the next unclaimed one is linked, while the table loads
        Owned owned{kNoCode, kNoPos};
        std::uint32_t more = 0;  // 1 + the index of its other codes in m_moreCodes; 0: none
    };
    // A record after every other: its place in each array by position.
    Pos addRecord(engines::RowId id, std::int64_t mslink);
    void addUnclaimed(ByText& entry, Pos pos);  // after every position already there
    void claimFirst(ByText& entry);             // the first unclaimed one is now owned
    // The first position of `entry` whose Tfeature is the code (sameCode), if any.
    std::optional<Pos> firstOwned(const ByText& entry, const CodeValue& code) const;
    // `pos` holds the text of `entry` and its Tfeature reads `stored`.
    void own(ByText& entry, std::u16string_view stored, Pos pos);
    CodeId codeOf(std::u16string_view stored);
    ByText& entryFor(const QString& key);
    // The text key of a row's text column (`stored`: the column as stored, when a stored text), in
    // m_scratch.
    std::u16string_view keyOf(const engines::Database::StoredRow& row, std::size_t column,
                              const std::optional<engines::Database::StoredText>& stored);
    void addMslink(std::int64_t n, Pos pos);

    static constexpr std::int64_t kNoMslink = std::numeric_limits<std::int64_t>::min();

    std::pmr::monotonic_buffer_resource m_arena;  // first: outlives every container below
    // A record's own numbers, together: a lookup that finds a record reads its id and number, and a
    // claim its next unclaimed one, where three arrays by position cost a cache miss each.
    struct Record {
        engines::RowId id;
        std::int64_t mslink;         // kNoMslink when not a whole number
        Pos nextUnclaimed = kNoPos;  // the next unclaimed one of its text
    };
    std::vector<Record> m_records;                // by position
    TextTable<ByText> m_byText{&m_arena};         // by text key
    std::vector<Code> m_codes;                    // by CodeId
    std::vector<std::vector<Owned>> m_moreCodes;  // the codes of a text after its first (ByText::more)
    TextTable<CodeSlot> m_codeIds{&m_arena};      // by code text
    MslinkPositions m_byMslink;
    // The highest number of m_byMslink below the limit, kept as numbers come and go: a new record asks.
    std::optional<std::int64_t> m_highestBelowLimit;
    std::u16string m_scratch;  // a row's key or Tfeature while it is loaded
};

// The run's indexes, one per attribute table, built on first use from the open database.
class AttributeIndexes {
  public:
    explicit AttributeIndexes(engines::Database& db) : m_db(db) {}

    // The database the indexes are read from and the record writer writes to.
    engines::Database& db() { return m_db; }

    // The index of `table` (name matched without regard to case), loaded on first use.
    AttributeIndex& table(const QString& table);
    // Loads the indexes of `tables` not loaded yet, all at once: on two threads where the engine can. A
    // table that cannot be read so (one that does not exist, or whose rows do not come in stored order)
    // is left to be read on first use, which then fails or reads it as before.
    void loadTogether(const std::vector<QString>& tables);
    // Throws away a table's index and reads it again (for the rare write the index cannot follow).
    AttributeIndex& reload(const QString& table);

    // What a Tfeature written as `codigo` reads back as, remembered per table and code once learnt.
    std::optional<QString> knownReadBack(const QString& table, const QString& codigo) const;
    void rememberReadBack(const QString& table, const QString& codigo, const QString& stored);

    // The record writer's prepared writes of the table `index` is the index of (named `table`), made on
    // first use: a job adds, claims and renumbers records by the ten thousand, and naming and resolving
    // the columns of each write cost more than the write itself.
    struct RecordWrites {
        std::unique_ptr<engines::Database::RowInserter> add;      // mslink, tmapa, Tfeature
        std::unique_ptr<engines::Database::RowUpdater> claim;     // Tfeature
        std::unique_ptr<engines::Database::RowUpdater> renumber;  // mslink
    };
    RecordWrites& writes(const AttributeIndex& index, const QString& table);

  private:
    engines::Database& m_db;
    std::map<QString, std::unique_ptr<AttributeIndex>> m_tables;  // by upper-cased name
    QHash<QString, AttributeIndex*> m_byName;                     // the same, by the name as asked
    core::ByTextIdentity<AttributeIndex*> m_byIdentity;           // the same, by the very text asked
    QHash<QString, QString> m_readBack;                           // "TABLE\ncode" -> stored text
    std::map<const AttributeIndex*, RecordWrites> m_writes;       // by the index of their table
};

}  // namespace vexilo::catalog
