#pragma once
// The identities of the rows of CONTROLPROCESO, held in memory for the duplicate test of the log:
// read once per job and kept up to date by the job's own inserts, so a call costs the same whether the
// log holds ten rows or a million.

#include <QHash>
#include <QString>
#include <cstdint>
#include <unordered_set>

#include "platform/dao.h"

namespace vexilo::schema {

class RunLogKeys {
  public:
    // Reads NombreTabla, mslink and NombreFichero of every row of CONTROLPROCESO in db. Rows with a
    // Null (or an mslink that is not a whole number) in any of the three can never match and are left out.
    explicit RunLogKeys(platform::Database& db);

    bool contains(const QString& tabla, std::int64_t mslink, const QString& fichero) const;
    void insert(const QString& tabla, std::int64_t mslink, const QString& fichero);
    std::size_t size() const { return m_keys.size(); }

  private:
    struct Key {
        QString tabla;  // upper-cased
        std::int64_t mslink;
        QString fichero;  // upper-cased
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const;
    };
    Key makeKey(const QString& tabla, std::int64_t mslink, const QString& fichero) const;

    // A job asks about the same few tables and two files hundreds of thousands of times: each name is
    // upper-cased once, and every key of that name shares the one upper-cased text.
    class UpperNames {
      public:
        const QString& of(const QString& name) const;

      private:
        mutable QHash<QString, QString> m_upper;
    };

    UpperNames m_upper;
    std::unordered_set<Key, KeyHash> m_keys;
};

}  // namespace vexilo::schema
