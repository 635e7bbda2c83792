#include "catalog/attributeindex.h"

#include "catalog/conversion.h"
#include "core/normalisation.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <limits>

namespace vexilo::catalog {

namespace {

constexpr int kMslink = 0;
constexpr int kTmapa = 1;
constexpr int kTcomplet = 2;
constexpr int kTfeature = 3;

// The record number as a whole number; Null, a fraction or a non-number gives nothing.
std::optional<std::int64_t> wholeNumber(const engines::Database::StoredRow& row) {
    return wholeFromRow(row, kMslink, std::numeric_limits<std::int64_t>::min(),
                        std::numeric_limits<std::int64_t>::max());
}

bool fitsInt32(std::int64_t n) {
    return n >= std::numeric_limits<std::int32_t>::min() && n <= std::numeric_limits<std::int32_t>::max();
}

// The column of the record's text: tmapa, or tcomplet when tmapa is Null or "". `tmapa` is tmapa as
// stored, when it is a stored text.
std::size_t textColumn(const engines::Database::StoredRow& row,
                       const std::optional<engines::Database::StoredText>& tmapa) {
    if (row.isNull(kTmapa)) {
        return kTcomplet;
    }
    if (tmapa) {
        return std::visit([](auto t) { return t.isEmpty(); }, *tmapa) ? kTcomplet : kTmapa;
    }
    return row.value(kTmapa).toString().isEmpty() ? kTcomplet : kTmapa;
}

// The text `stored` into `out` as UTF-16.
void utf16Of(const engines::Database::StoredText& stored, std::u16string& out) {
    if (const auto* latin1 = std::get_if<QLatin1String>(&stored)) {
        out.resize(static_cast<std::size_t>(latin1->size()));
        for (std::size_t i = 0; i < out.size(); ++i) {
            out[i] = static_cast<char16_t>(
                static_cast<unsigned char>((*latin1)[static_cast<qsizetype>(i)].toLatin1()));
        }
        return;
    }
    const QStringView view = std::get<QStringView>(stored);
    out.assign(reinterpret_cast<const char16_t*>(view.data()), static_cast<std::size_t>(view.size()));
}

// The decimal digits of `n` into `out`, as QString::number writes them.
void decimalOf(std::int64_t n, std::u16string& out) {
    char digits[24];
    const auto [end, error] = std::to_chars(std::begin(digits), std::end(digits), n);
    static_cast<void>(error);  // 24 places hold any 64-bit number
    out.assign(digits, end);
}

// The upper form of each Latin-1 character as QString::toUpper gives it, or 0 for the one whose upper
// form is two characters (ß, "SS").
struct Latin1Upper {
    Latin1Upper() {
        for (char16_t c = 0; c < 256; ++c) {
            const QString upper = QString(QChar(c)).toUpper();
            of[c] = upper.size() == 1 ? upper.at(0).unicode() : 0;
        }
    }
    char16_t of[256] = {};
};

// A text of Latin-1 characters (a stored text of plain ASCII, or any other) into `out` as the key
// textKey makes of it (trimmed of spaces, upper-cased), without a string of its own; false, with `out`
// undefined, for a text holding any other character.
template <typename View>
bool latin1Key(View texto, std::u16string& out) {
    static const Latin1Upper upper;
    const View trimmed = core::trimmedSpaces(texto);
    out.resize(static_cast<std::size_t>(trimmed.size()));
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        const char16_t c = trimmed.at(i).unicode();
        const char16_t u = c < 256 ? upper.of[c] : 0;
        if (u == 0 && c != 0) {
            return false;
        }
        out[static_cast<std::size_t>(i)] = u;
    }
    return true;
}

}  // namespace

QString textKey(const QString& texto) {
    return core::trimSpaces(texto).toUpper();
}

std::optional<std::int32_t> codeNumber(QStringView code) {
    const std::optional<std::int64_t> n =
        parseWhole(core::trimmedSpaces(code), std::numeric_limits<std::int32_t>::min(),
                   std::numeric_limits<std::int32_t>::max());
    if (!n) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*n);
}

CodeValue codeValue(const QString& code) {
    return {{reinterpret_cast<const char16_t*>(code.constData()), static_cast<std::size_t>(code.size())},
            codeNumber(code)};
}

bool sameCode(const CodeValue& stored, const CodeValue& code) {
    return (stored.number && stored.number == code.number) || stored.text == code.text;
}

void AttributeIndex::load(const std::vector<engines::Database::Row>& rows) {
    for (const auto& row : rows) {
        loadRow(engines::VariantRow(row));
    }
}

void AttributeIndex::loadRow(const engines::Database::StoredRow& row) {
    const std::optional<std::int64_t> mslink = wholeNumber(row);
    const Pos pos = addRecord(row.id(), mslink ? *mslink : kNoMslink);
    if (!mslink) {
        return;
    }
    addMslink(*mslink, pos);
    // tmapa is read once, whether it is the record's text or only tells that tcomplet is.
    const std::optional<engines::Database::StoredText> tmapa = row.text(kTmapa);
    const std::size_t column = textColumn(row, tmapa);
    if (row.isNull(column) || !fitsInt32(*mslink)) {
        return;
    }
    ByText& entry = m_byText.findOrAdd(keyOf(row, column, column == kTmapa ? tmapa : row.text(column)));
    if (row.isNull(kTfeature)) {
        addUnclaimed(entry, pos);
        return;
    }
    if (const std::optional<engines::Database::StoredText> stored = row.text(kTfeature)) {
        utf16Of(*stored, m_scratch);
        own(entry, m_scratch, pos);
    } else if (const std::optional<std::int64_t> number = row.integer(kTfeature)) {
        // A code kept as a whole number reads as its decimal digits, as its value() would.
        decimalOf(*number, m_scratch);
        own(entry, m_scratch, pos);
    } else {
        own(entry, view(row.value(kTfeature).toString()), pos);
    }
}

std::u16string_view AttributeIndex::keyOf(const engines::Database::StoredRow& row, std::size_t column,
                                          const std::optional<engines::Database::StoredText>& stored) {
    if (stored && std::visit([this](auto t) { return latin1Key(t, m_scratch); }, *stored)) {
        return m_scratch;
    }
    // Any other text (or a number or date in a text's place) upper-cases as QString does.
    const QString key =
        textKey(stored ? std::get<QStringView>(*stored).toString() : row.value(column).toString());
    m_scratch.assign(reinterpret_cast<const char16_t*>(key.constData()),
                     static_cast<std::size_t>(key.size()));
    return m_scratch;
}

std::optional<AttributeIndex::Found> AttributeIndex::first(const QString& key, const QString& codigo) const {
    const ByText* entry = m_byText.find(view(key));
    if (entry == nullptr) {
        return std::nullopt;
    }
    std::optional<Pos> best;
    bool unclaimed = false;
    if (entry->firstUnclaimed != kNoPos) {
        best = entry->firstUnclaimed;
        unclaimed = true;
    }
    const std::optional<Pos> owned = firstOwned(*entry, codeValue(codigo));
    if (owned && (!best || *owned < *best)) {
        best = owned;
        unclaimed = false;
    }
    if (!best) {
        return std::nullopt;
    }
    // Records in the text index always carry a 32-bit number (see load and added).
    const Record& record = m_records[*best];
    return Found{*best, record.id, static_cast<std::int32_t>(record.mslink), unclaimed};
}

void AttributeIndex::claimed(const QString& key, Pos pos, const QString& stored) {
    ByText& entry = entryFor(key);
    // A claim always takes the first unclaimed record holding the text: no unclaimed record before it
    // can be eligible, since every unclaimed record is.
    Q_ASSERT(entry.firstUnclaimed == pos);
    claimFirst(entry);
    own(entry, view(stored), pos);
}

bool AttributeIndex::added(engines::RowId id, std::int32_t mslink, const std::optional<QString>& key,
                           const QString& stored) {
    if (!m_records.empty() && id <= m_records.back().id) {
        return false;
    }
    const Pos pos = addRecord(id, mslink);
    addMslink(mslink, pos);
    if (key) {
        own(entryFor(*key), view(stored), pos);
    }
    return true;
}

std::optional<engines::RowId> AttributeIndex::firstWithMslink(std::int64_t n) const {
    const std::optional<Pos> pos = m_byMslink.first(n);
    if (!pos) {
        return std::nullopt;
    }
    return m_records[*pos].id;
}

void AttributeIndex::renumbered(std::int64_t from, std::int64_t to) {
    const std::optional<Pos> pos = m_byMslink.first(from);
    if (!pos || from == to) {
        return;
    }
    // The highest number below the limit was `from`: none lies between it and the limit.
    if (m_byMslink.removeFirst(from) && from == m_highestBelowLimit) {
        m_highestBelowLimit = m_byMslink.highestBelow(from);
    }
    m_records[*pos].mslink = to;
    addMslink(to, *pos);
}

AttributeIndex::ByText& AttributeIndex::entryFor(const QString& key) {
    return m_byText.findOrAdd(view(key));
}

std::optional<AttributeIndex::Pos> AttributeIndex::firstOwned(const ByText& entry,
                                                              const CodeValue& code) const {
    std::optional<Pos> best;
    auto consider = [&](const Owned& o) {
        const Code& stored = m_codes[o.code];
        if ((!best || o.first < *best) && sameCode({stored.text, stored.number}, code)) {
            best = o.first;
        }
    };
    if (entry.owned.code != kNoCode) {
        consider(entry.owned);
    }
    if (entry.more != 0) {
        for (const Owned& o : m_moreCodes[entry.more - 1]) {
            consider(o);
        }
    }
    return best;
}

void AttributeIndex::own(ByText& entry, std::u16string_view stored, Pos pos) {
    const CodeId code = codeOf(stored);
    if (entry.owned.code == kNoCode || entry.owned.code == code) {
        entry.owned.code = code;
        entry.owned.first = std::min(entry.owned.first, pos);
        return;
    }
    if (entry.more == 0) {
        m_moreCodes.emplace_back();
        entry.more = static_cast<std::uint32_t>(m_moreCodes.size());
    }
    std::vector<Owned>& more = m_moreCodes[entry.more - 1];
    auto found = std::find_if(more.begin(), more.end(), [&](const Owned& o) { return o.code == code; });
    if (found == more.end()) {
        more.push_back(Owned{code, pos});
    } else {
        found->first = std::min(found->first, pos);
    }
}

AttributeIndex::CodeId AttributeIndex::codeOf(std::u16string_view stored) {
    CodeSlot& slot = m_codeIds.findOrAdd(stored);
    if (slot.id == kNoCode) {
        slot.id = static_cast<CodeId>(m_codes.size());
        m_codes.push_back(
            Code{Text(stored, &m_arena),
                 codeNumber(QStringView(stored.data(), static_cast<qsizetype>(stored.size())))});
    }
    return slot.id;
}

AttributeIndex::Pos AttributeIndex::addRecord(engines::RowId id, std::int64_t mslink) {
    const auto pos = static_cast<Pos>(m_records.size());
    m_records.push_back(Record{id, mslink});
    return pos;
}

void AttributeIndex::addUnclaimed(ByText& entry, Pos pos) {
    if (entry.firstUnclaimed == kNoPos) {
        entry.firstUnclaimed = pos;
    } else {
        m_records[entry.lastUnclaimed].nextUnclaimed = pos;
    }
    entry.lastUnclaimed = pos;
}

void AttributeIndex::claimFirst(ByText& entry) {
    entry.firstUnclaimed = m_records[entry.firstUnclaimed].nextUnclaimed;
    if (entry.firstUnclaimed == kNoPos) {
        entry.lastUnclaimed = kNoPos;
    }
}

void AttributeIndex::addMslink(std::int64_t n, Pos pos) {
    m_byMslink.add(n, pos);
    if (n < kNumberingLimit && (!m_highestBelowLimit || n > *m_highestBelowLimit)) {
        m_highestBelowLimit = n;
    }
}

namespace {

// A read in the order the engine finds the rows met a record before one it had already handed on.
struct NotInStoredOrder {};

// Loads an index from rows in the order the engine finds them, as long as they come in stored order.
class AsItLies {
  public:
    explicit AsItLies(AttributeIndex& index) : m_index(&index) {}
    void operator()(const engines::Database::StoredRow& row) {
        if (m_last && row.id() <= *m_last) {
            throw NotInStoredOrder{};
        }
        m_last = row.id();
        m_index->loadRow(row);
    }

  private:
    AttributeIndex* m_index;
    std::optional<engines::RowId> m_last;
};

// The index of `table` from its rows in the order the engine finds them, or nothing when a record comes
// before one already taken.
std::unique_ptr<AttributeIndex> loadedAsItLies(engines::Database& db, const QString& table) {
    using Database = engines::Database;
    auto index = std::make_unique<AttributeIndex>();
    try {
        db.ForEachStoredRow(table, kIndexColumns, AsItLies(*index), Database::RowHandling::Heavy,
                            Database::RowOrder::Any);
    } catch (const NotInStoredOrder&) {
        return nullptr;
    }
    return index;
}

// The index of `table`, row by row: a whole table's rows held at once would cost more than the index
// made of them. A server keeps the stored order in a column of its own and, asked for that order, sorts
// the whole table before it sends the first row while the job waits (a third of each table's read). A
// table whose rows were never changed lies in its stored order, so it is read as it lies, and read again
// in the stored order when a record comes out of turn.
std::unique_ptr<AttributeIndex> loaded(engines::Database& db, const QString& table) {
    if (db.LikelyInStoredOrder(table)) {
        if (std::unique_ptr<AttributeIndex> index = loadedAsItLies(db, table)) {
            return index;
        }
    }
    auto index = std::make_unique<AttributeIndex>();
    db.ForEachStoredRow(
        table, kIndexColumns, [&](const engines::Database::StoredRow& row) { index->loadRow(row); },
        engines::Database::RowHandling::Heavy, engines::Database::RowOrder::Stored);
    return index;
}

}  // namespace

AttributeIndex& AttributeIndexes::table(const QString& table) {
    // Asked for once or twice per text element, nearly always by the same few spellings.
    if (AttributeIndex* const* known = m_byIdentity.find(table)) {
        return **known;
    }
    if (AttributeIndex* known = m_byName.value(table)) {
        m_byIdentity.remember(table, known);
        return *known;
    }
    auto& slot = m_tables[table.toUpper()];
    if (!slot) {
        slot = loaded(m_db, table);
    }
    m_byName.insert(table, slot.get());
    m_byIdentity.remember(table, slot.get());
    return *slot;
}

void AttributeIndexes::loadTogether(const std::vector<QString>& tables) {
    std::vector<QString> keys;
    std::vector<std::unique_ptr<AttributeIndex>> made;
    std::vector<engines::Database::TableRead> reads;
    for (const QString& table : tables) {
        QString key = table.toUpper();
        if (m_tables.contains(key) || std::find(keys.begin(), keys.end(), key) != keys.end() ||
            !m_db.LikelyInStoredOrder(table)) {
            continue;
        }
        keys.push_back(std::move(key));
        made.push_back(std::make_unique<AttributeIndex>());
        reads.push_back({table, kIndexColumns, AsItLies(*made.back()), {}});
    }
    m_db.ForEachStoredRowTogether(reads);
    for (std::size_t i = 0; i < reads.size(); ++i) {
        if (!reads[i].failure) {
            m_tables[keys[i]] = std::move(made[i]);
        }
    }
}

AttributeIndex& AttributeIndexes::reload(const QString& name) {
    m_byName.clear();
    m_byIdentity.clear();
    if (const auto it = m_tables.find(name.toUpper()); it != m_tables.end()) {
        m_writes.erase(it->second.get());
        m_tables.erase(it);
    }
    return table(name);
}

AttributeIndexes::RecordWrites& AttributeIndexes::writes(const AttributeIndex& index, const QString& table) {
    RecordWrites& w = m_writes[&index];
    if (!w.add) {
        using Checks = engines::Database::Checks;
        const QString tfeature = QStringLiteral("Tfeature");
        const QString mslink = QStringLiteral("mslink");
        w.add = m_db.PrepareInsert(table, {mslink, QStringLiteral("tmapa"), tfeature}, Checks::AtTheCall);
        w.claim = m_db.PrepareUpdate(table, {tfeature});
        w.renumber = m_db.PrepareUpdate(table, {mslink});
    }
    return w;
}

std::optional<QString> AttributeIndexes::knownReadBack(const QString& table, const QString& codigo) const {
    const auto it = m_readBack.constFind(table.toUpper() + QLatin1Char('\n') + codigo);
    if (it == m_readBack.constEnd()) {
        return std::nullopt;
    }
    return *it;
}

void AttributeIndexes::rememberReadBack(const QString& table, const QString& codigo, const QString& stored) {
    m_readBack.insert(table.toUpper() + QLatin1Char('\n') + codigo, stored);
}

}  // namespace vexilo::catalog
