#pragma once
// Small whole files for the tests of publishing: written and read back in one call.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QString>

namespace vexilo::engines {

inline void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// The file's bytes; empty when it cannot be read.
inline QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace vexilo::engines
