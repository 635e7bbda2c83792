#pragma once
// A prepared SQLite statement bound from values in their stored form, as QtSql's SQLite driver binds
// each kind of value, so that a value is stored exactly as the recordsets store it. Internal to the
// engine layer.

#include <sqlite3.h>

#include <QString>
#include <QVariant>
#include <cstdint>
#include <string>
#include <vector>

#include "engines/plainrow.h"

namespace vexilo::engines {

class SqliteBinding {
  public:
    explicit SqliteBinding(sqlite3_stmt* stmt);
    ~SqliteBinding();
    SqliteBinding(const SqliteBinding&) = delete;
    SqliteBinding& operator=(const SqliteBinding&) = delete;

    sqlite3_stmt* statement() const { return m_stmt; }
    // Binds `v` to the mark `index` (from 1); SQLite's result code.
    int bind(int index, const QVariant& v);
    // Binds a plain value in the form the same value in a QVariant is stored in.
    int bind(int index, const PlainValue& v);

  private:
    int bindText(int index, const QString& s);
    int bindMoment(int index, const PlainValue& v);

    // What a mark was last bound to as a text.
    struct Mark {
        std::string utf8;  // its UTF-8, followed by a NUL
        int length = -1;   // as given to SQLite: -1 for NUL-terminated
        QString text;      // the text itself, null when its UTF-8 is not kept
        // The day or time of day (its kind and number) whose text the UTF-8 is; Whole: none.
        PlainValue::Kind moment = PlainValue::Kind::Whole;
        std::int64_t momentValue = 0;
    };

    sqlite3_stmt* m_stmt;
    std::vector<Mark> m_marks;  // by mark
};

}  // namespace vexilo::engines
