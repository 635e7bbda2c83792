#pragma once
// The importer's side of the stream of accessstream.h. What arrives is untrusted (it comes from libmdb
// reading a file that may be damaged, in another process): every frame is checked before it is used,
// and any fault in the stream or any damage it reports ends the import with ImportError.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>
#include <vector>

#include "import/accessimport.h"
#include "import/accessstream.h"

namespace vexilo::importer {

struct StreamColumn {
    QString name;
    stream::ColumnKind tipo = stream::ColumnKind::Text;
    int size = 0;  // texts: the declared size in characters, 1 to 255
    // A column of a database of the engine layer: its field type there (engines::FieldType or
    // OtherFieldType), which the copy keeps; 0 for a column of an Access file.
    int engineType = 0;
};

struct StreamTable {
    QString name;
    std::int64_t declaredRows = 0;
    std::vector<StreamColumn> columns;
};

// Where the checked tables and rows go. Values are those of the column kinds: whole numbers as
// qint64, reals as double, dates as their stored text (engines/datetext.h), texts as QString, bytes as
// QByteArray, Null as an invalid QVariant.
class Receptor {
  public:
    virtual ~Receptor() = default;
    virtual void beginTable(const StreamTable& t) = 0;
    virtual void row(const std::vector<QVariant>& values) = 0;
    virtual void endTable() = 0;
};

// A receptor that stores what it receives and is then asked how many rows each table holds, so that
// an import is checked before it is published.
class Destination : public Receptor {
  public:
    // The rows that `table` holds now, counted by the destination itself.
    virtual std::int64_t storedRows(const QString& table) = 0;
    // Makes everything written lasting; ImportError when it cannot.
    virtual void finish() = 0;
};

// Throws the error of a damaged Access file: "El fichero de Access está dañado: " and `detail`.
// Every fault found in the file or in its stream goes through here.
[[noreturn]] void damagedFile(const QString& detail);

class StreamReader {
  public:
    explicit StreamReader(Receptor& receptor) : m_receptor(receptor) {}

    // Takes the next bytes of the stream, in pieces of any size, and hands every whole frame on.
    // Throws ImportError for a damaged file, a fault in the stream, or an 'X' frame's failure.
    void feed(const char* data, std::size_t n);
    // The stream has ended: throws unless it ended with 'Z' after every table of the catalog.
    void finish() const;
    bool complete() const { return m_state == State::End; }

    // The tables read whole so far, in the catalog's order.
    const std::vector<ImportedTable>& tables() const { return m_tables; }

  private:
    enum class State { Catalog, Tables, InTable, End };
    void frame(std::uint8_t tipo, const char* payload, std::size_t n);
    void catalog(const char* payload, std::size_t n);
    void table(const char* payload, std::size_t n);
    void row(const char* payload, std::size_t n);
    void tableEnd();

    Receptor& m_receptor;
    State m_state = State::Catalog;
    QByteArray m_pending;
    QStringList m_catalog;
    StreamTable m_table;
    std::int64_t m_rows = 0;
    std::vector<QVariant> m_values;
    std::vector<ImportedTable> m_tables;
};

}  // namespace vexilo::importer
