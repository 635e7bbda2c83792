#pragma once
// Reading the text of an attribute record for the text rewrite pass.
//
// The pass only reads the database, so each attribute table's texts are read once per run, on first
// use, and every later question about that table is answered from memory. The answers are those of a
// query "SELECT * FROM T WHERE mslink=N;" taken record by record, with the open cases settled so:
// - no record holds the number: NoSuchRecord, TextoEnBdD untouched;
// - several records share the number: the first in the table's stored order is read;
// - the record's tmapa and tcomplet are both Null: NoText, TextoEnBdD untouched.

#include <QString>
#include <cstdint>
#include <map>

#include "catalog/recordtexts.h"
#include "engines/dao.h"

namespace vexilo::catalog {

enum class TextResult {
    Found,         // TextoEnBdD holds the record's text
    NoSuchRecord,  // no record of the table holds that mslink
    NoText,        // the record's tmapa and tcomplet are both Null
};

// The texts of the attribute tables read so far in this job, by upper-cased table name (one of the
// job's caches).
class AttributeTexts {
  public:
    explicit AttributeTexts(engines::Database& bd) : m_bd(bd) {}

    using Text = RecordText;
    using Table = RecordTexts;

    // The texts of a table, read from the database on the first call for that table. Engine errors (a
    // table that does not exist) propagate; a table lacking mslink, tmapa or tcomplet is an EngineError too.
    const Table& table(const QString& NombreTabla);

  private:
    static Table read(engines::Database& bd, const QString& NombreTabla);

    engines::Database& m_bd;
    std::map<QString, Table> m_tables;  // a map's entries stay where they are as others are added
};

// Sets TextoEnBdD to the text of the record numbered `registro` in NombreTabla: its tmapa, or its
// tcomplet when tmapa is Null, without surrounding spaces. An empty tmapa yields the empty text.
// On any other result than Found TextoEnBdD keeps its value. The text is the one `texts` keeps: the view
// holds while `texts` lives.
TextResult ObtengoTextoBdD(AttributeTexts& texts, std::int32_t registro, const QString& NombreTabla,
                           QStringView& TextoEnBdD);
// The same, the table's texts already at hand.
TextResult ObtengoTextoBdD(const AttributeTexts::Table& table, std::int32_t registro,
                           QStringView& TextoEnBdD);

}  // namespace vexilo::catalog
