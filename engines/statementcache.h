#pragma once
// The prepared statements of one connection, kept per SQL text for the connection's life: the job runs
// the same few statements hundreds of thousands of times. Internal to the engine layer.

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <memory>
#include <unordered_map>

namespace vexilo::engines {

class StatementCache {
  public:
    // The statement kept for `sql`, or null when none is kept yet.
    QSqlQuery* find(const QString& sql) const;
    // Keeps a prepared statement for `sql` and returns it.
    QSqlQuery& keep(const QString& sql, std::unique_ptr<QSqlQuery> query);
    // Ends every statement still stepping (a transaction cannot commit while one does).
    void finishAll();
    // Drops every statement; they must be gone before their connection is removed.
    void clear() { m_statements.clear(); }

  private:
    std::unordered_map<QString, std::unique_ptr<QSqlQuery>> m_statements;
};

}  // namespace vexilo::engines
