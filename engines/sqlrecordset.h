#pragma once
// The Recordset of the engine layer over a QtSql connection. Internal: callers see engines::Recordset.
//
// The rows of the source are read in one statement the first time they are needed (a count, a move, a
// value) and kept, with their identities, for the recordset's life; a recordset opened only for AddNew
// reads nothing. Edit/Update writes the current row by its identity at once and rereads it, so the
// recordset shows what was stored; AddNew/Update inserts at once. The statement is finished right after
// reading, so an open recordset never holds a lock on the database.

#include <memory>
#include <vector>

#include "engines/connection.h"
#include "engines/dao.h"

namespace vexilo::engines {

class SqlRecordset final : public Recordset {
  public:
    SqlRecordset(std::weak_ptr<Connection> connection, const Query& source, RecordsetType type);

    int RecordCount() override;
    bool Eof() override;
    void MoveFirst() override;
    void MoveNext() override;
    void MoveLast() override;
    void Edit() override;
    void AddNew() override;
    void Update() override;
    void Close() override;
    int FieldCount() override;
    QString FieldName(int i) override;
    QVariant Value(const QString& field) override;
    void SetValue(const QString& field, const QVariant& value) override;
    RowId CurrentRowId() override;

  private:
    enum class Editing { None, Edit, AddNew };

    Connection& connection();
    void load();
    QString selectSql(bool oneRow);
    Database::Row readRow(QSqlQuery& query);
    Database::Row reread(RowId id);
    void requireCurrent();
    void requireUpdatable(const char* operation);
    int fieldIndex(const QString& field);

    std::weak_ptr<Connection> m_connection;
    Query m_source;
    RecordsetType m_type;
    QString m_table;  // stored name
    std::vector<FieldDef> m_fields;
    bool m_closed = false;
    bool m_loaded = false;
    std::vector<Database::Row> m_rows;
    std::size_t m_position = 0;
    Editing m_editing = Editing::None;
    std::vector<QVariant> m_buffer;
    std::vector<bool> m_changed;
};

}  // namespace vexilo::engines
