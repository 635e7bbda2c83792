// Which server column types take COPY's binary form, and the bytes of a row in it: a type whose binary
// form means something else than our value (a timestamp with time zone counts from UTC) must keep the
// text form, where the server reads the moment as it always has.

#include "engines/pgcopybinary.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <vector>

namespace vexilo::engines {
namespace {

TEST(CopyBinary, OnlyWholeNumbersTextsAndTimestampsWithoutZoneTakeTheBinaryForm) {
    EXPECT_EQ(binaryColumnOf("smallint"), BinaryColumn::Int2);
    EXPECT_EQ(binaryColumnOf("integer"), BinaryColumn::Int4);
    EXPECT_EQ(binaryColumnOf("bigint"), BinaryColumn::Int8);
    EXPECT_EQ(binaryColumnOf("text"), BinaryColumn::Utf8);
    EXPECT_EQ(binaryColumnOf("character varying(255)"), BinaryColumn::Utf8);
    EXPECT_EQ(binaryColumnOf("timestamp(0) without time zone"), BinaryColumn::Timestamp);
    EXPECT_EQ(binaryColumnOf("timestamp without time zone"), BinaryColumn::Timestamp);
    for (const char* other : {"timestamp with time zone", "timestamp(0) with time zone", "date",
                              "time without time zone", "character(10)", "numeric(10,2)", "real",
                              "double precision", "boolean", "bytea", "integer[]", "dominio_propio"}) {
        EXPECT_EQ(binaryColumnOf(QString::fromLatin1(other)), BinaryColumn::None) << other;
    }
}

// A whole number in network order, `bytes` wide.
QByteArray big(qint64 n, int bytes) {
    QByteArray b;
    for (int i = bytes - 1; i >= 0; --i) {
        b += static_cast<char>((n >> (8 * i)) & 0xff);
    }
    return b;
}

// A field: its length, then its bytes.
QByteArray field(const QByteArray& bytes) {
    return big(bytes.size(), 4) + bytes;
}

// One row, byte by byte: the field count, then each field's length and bytes in network order; a Null
// is a length of -1; a moment counts microseconds from 2000-01-01.
TEST(CopyBinary, ARowIsItsFieldsInNetworkOrder) {
    const std::vector<BinaryColumn> columns = {BinaryColumn::Int8, BinaryColumn::Int2, BinaryColumn::Utf8,
                                               BinaryColumn::Timestamp, BinaryColumn::Int4};
    const std::vector<QVariant> values = {QVariant(qlonglong(-2)), QVariant(QStringLiteral("ñ")),
                                          QVariant(QStringLiteral("2000-01-01 00:00:01")), QVariant()};
    QByteArray out("x");
    ASSERT_TRUE(appendBinaryRow(out, columns, 258, values));
    const QByteArray expected = QByteArray("x") + big(5, 2) + field(big(258, 8)) + field(big(-2, 2)) +
                                field(QStringLiteral("ñ").toUtf8()) + field(big(1000000, 8)) + big(-1, 4);
    EXPECT_EQ(out.toHex(), expected.toHex());

    // A value it cannot carry leaves nothing behind: the row goes in the text form.
    for (const QVariant& refused : {QVariant(qlonglong(40000)), QVariant(QStringLiteral("1"))}) {
        std::vector<QVariant> row = values;
        row[0] = refused;
        EXPECT_FALSE(appendBinaryRow(out, columns, 1, row));
    }
    std::vector<QVariant> undated = values;
    for (const char* moment : {"10000-01-01 00:00:00", "2023-02-29 00:00:00", "2024-01-01 24:00:00",
                               "2024-01-01T00:00:00", "0000-01-01 00:00:00"}) {
        undated[2] = QString::fromLatin1(moment);
        EXPECT_FALSE(appendBinaryRow(out, columns, 1, undated)) << moment;
    }
    EXPECT_EQ(out.toHex(), expected.toHex());
}

}  // namespace
}  // namespace vexilo::engines
