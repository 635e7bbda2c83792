#pragma once
// Deterministic sample data: an attribute database and a drawing file that together meet every
// situation the two passes decide on. The same options and seed always give the same bytes and rows,
// so benchmarks, tests and the README's demo can rely on it.
//
// Use:
//     sample::Options o;                 // defaults: a small sample of 2,000 elements
//     o.elements = 1'000'000; o.texts = 200'000; o.tables = 10; o.recordsPerTable = 20'000;
//     sample::Result r = sample::genera(QStringLiteral("/tmp/muestra"), o);
//     // r.database, r.drawing: the two files written into the folder
//
// The database (SQLite, through the engine layer) holds:
// - MsCatalog(tablename, entitynum): one row per attribute table, plus one mixed-case row ("Nueva")
//   naming a table the database lacks, so the schema check creates it;
// - Feature(mslink, tablename, ftype): per table a main code, a second code, a centroid code (ftype 4)
//   and a code listed in NoAsignar; plus a code whose table MsCatalog does not list;
// - NoAsignar(mslink);
// - the attribute tables (MsLink, tcomplet, tmapa text 100, tfeature, clasific) with texts: most owned
//   by the main code, some unclaimed (Null tfeature), some owned by the second code, some with a Null
//   or empty tmapa and the text in tcomplet, some texts present twice.
// The drawing holds C elements, dropped elements (of both classes) and T elements: texts of the
// table, texts not yet in it, texts with odd spacing or case, long texts of several chunks, accented
// texts; no link, a link to the record that holds the text, a link to another record, several links
// for the table, links to other tables and to the ignored entity number 1; codes designating no
// feature, centroid and excluded codes, codes with leading zeros or padded with spaces. With at least
// 50 texts it also holds one element already carrying 255 links and one with a non-numeric code.
//
// Every link points to an entity number that MsCatalog lists (or to 1), so both modes run to their
// end on the sample.

#include <QString>
#include <cstdint>

#include "engines/replacement.h"

namespace vexilo::sample {

// Records per table when the number of tables is chosen for the texts. A job numbers new records below
// 60000, so tables this size leave every job room to add records.
constexpr std::int64_t kAutoRecordsPerTable = 20'000;
// Beyond this many records per table a job soon finds no record number left below 60000.
constexpr std::int64_t kMaxRecordsPerTable = 50'000;

struct Options {
    std::int64_t elements = 2000;  // elements in the drawing, all kinds together
    std::int64_t texts = 0;        // carried T elements among them; 0: a fifth of the elements
    // Attribute tables present in the database (1 to 99); 0: as many as keep every table at most
    // kAutoRecordsPerTable records, and at least 3.
    int tables = 0;
    std::int64_t recordsPerTable = 0;  // records per table; 0: enough for the texts (at least 20)
    std::uint64_t seed = 1;
    QString name = QStringLiteral("muestra");  // base name of the two files
    // Where the database goes instead of <folder>/<name>.sqlite: another file (replaced), or a server
    // database named by a connection URI, created when the server lacks it; a server database that
    // already holds tables is refused, so that no one's tables are ever replaced by the sample.
    QString database;
    // How long the sample waits for a job that runs on the database file it replaces, and its notice;
    // wait.interrupted is also asked while the files are written (core::Interrupted, nothing kept).
    engines::JobWaitOptions wait;
};

struct Result {
    QString database;  // <folder>/<name>.sqlite, or Options::database when given
    QString drawing;   // <folder>/<name>.bin
    QString backup;    // where a replaced database file was kept; empty: none
    std::int64_t elements = 0;
    std::int64_t texts = 0;    // carried T elements
    std::int64_t dropped = 0;  // dropped elements, both classes
    std::int64_t records = 0;  // attribute records written, all tables together
};

// Writes the sample into `folder` (created when missing), replacing files of the same names there (a
// replaced database file is kept beside the new one as "<name>.sqlite.AAAAMMDD-HHMMSS.bak"). Nothing
// takes the sample's names before both files are whole.
// Throws core::RunError when a file cannot be written, std::invalid_argument for options out of
// range (fewer elements than texts, more than 99 tables, more than kMaxRecordsPerTable records per
// table when their number is derived from the texts).
Result generate(const QString& folder, const Options& options);

}  // namespace vexilo::sample
