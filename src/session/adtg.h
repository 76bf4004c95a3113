#pragma once
// ADO's Advanced Data TableGram (ADTG): the binary recordset format in which
// the client sends the four report recordsets and receives the organization
// data. One flat (non-hierarchical) recordset per TableGram.
//
// Wire choices (where the public description of the format disagrees with
// itself, the bytes Windows writes decide):
// - names in the metadata are UTF-16LE, prefixed by their length in
//   characters (USHORT);
// - Yes/No values and every other boolean are 0xFFFF for true, 0x0000 for
//   false (any non-zero value reads as true);
// - Currency is a little-endian two's-complement 64-bit count of 1/10000;
// - text data of DBTYPE_WSTR columns is UTF-16LE, of DBTYPE_STR columns
//   Windows-1252; a variable-length value carries a one-byte length prefix
//   (in bytes) when the column's largest value fits 255 bytes, else four.
//
// The reader takes untrusted bytes: every count and length is checked against
// what remains, nothing is allocated from a count alone, and a failure gives a
// clear text and leaves no partial result.

#include "components/currency.h"
#include "components/datetime.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

namespace pm {

// The logical column kinds. The first eight are the Access column types of
// our tables; the others are what a recordset written elsewhere may carry.
enum class TAdtgKind : uint8_t {
    Text,        // Text(n): Unicode text of at most n characters (size = n)
    Memo,        // unbounded Unicode text
    Long,        // 32-bit signed integer
    AutoNumber,  // a Long filled by the database on insert
    Currency,    // 8-byte fixed point, four decimal places
    DateTime,    // days since 30 December 1899, time as fraction
    YesNo,       // boolean
    Decimal,     // exact decimal, precision and scale (Decimal(8,4))
    AnsiText,    // 8-bit text (DBTYPE_STR), Windows-1252 (size = bytes)
    Integer,     // other integers: 8, 16 and 64-bit, signed or not
    Single,      // 4-byte float
    Double,      // 8-byte float
    Guid,        // 16 bytes
    Binary,      // bytes (size = bytes)
};

// An exact decimal: |value| = mantissa * 10^-scale, mantissa 96 bits.
struct TAdtgDecimal {
    uint8_t scale = 0;      // 0..28
    bool negative = false;
    uint32_t hi = 0;        // mantissa bits 64..95
    uint64_t lo = 0;        // mantissa bits 0..63

    // units * 10^-scale, for instance FromUnits(625, 4) is 0.0625.
    static TAdtgDecimal FromUnits(int64_t units, uint8_t scale);
    // Nearest value with the given scale; nullopt for NaN, infinities and
    // values whose mantissa does not fit 63 bits.
    static std::optional<TAdtgDecimal> FromDouble(double value, uint8_t scale);
    // "[-]digits[.digits]", blanks around allowed; the scale is the number
    // of decimals written (at most 28).
    static std::optional<TAdtgDecimal> Parse(const QString& text);
    // Every decimal of the scale: "6.2500", "-0.5", "12".
    QString ToString() const;
    double ToDouble() const;
    // The value as a count of 10^-scale units when it fits 64 bits.
    std::optional<int64_t> Units() const;
    bool operator==(const TAdtgDecimal&) const = default;
};

// One value. NULL is std::monostate. Which alternative a column holds goes by
// its kind: Text, Memo, AnsiText QString; Long, AutoNumber, Integer int64_t;
// Currency Currency; DateTime, Single, Double double (TDateTime for dates);
// YesNo bool; Decimal TAdtgDecimal; Guid, Binary QByteArray.
using TAdtgValue = std::variant<std::monostate, bool, int64_t, double, Currency, QString,
                                QByteArray, TAdtgDecimal>;
using TAdtgRow = std::vector<TAdtgValue>;

inline bool IsNull(const TAdtgValue& value) { return std::holds_alternative<std::monostate>(value); }

// A property of the recordset descriptor or context (OLE DB property sets).
struct TAdtgProperty {
    enum Type : uint8_t { Boolean, Integer, String };
    uint32_t id = 0;
    Type type = Integer;
    bool boolValue = false;
    int32_t intValue = 0;
    QString stringValue;
    bool operator==(const TAdtgProperty&) const = default;
};

struct TAdtgPropertySet {
    QByteArray guid;                     // 16 bytes as on the wire
    std::vector<TAdtgProperty> properties;
    bool operator==(const TAdtgPropertySet&) const = default;
};

// A base table the recordset's data comes from.
struct TAdtgTable {
    uint16_t ordinal = 1;
    QString originalName;                // as the data source names it
    QString updateName;                  // where updates go
    uint16_t columnCount = 0;            // columns of this table in the recordset
    std::vector<uint16_t> keyColumns;    // base-table column ordinals of the key
    bool operator==(const TAdtgTable&) const = default;
};

struct TAdtgColumn {
    QString name;
    TAdtgKind kind = TAdtgKind::Text;
    // Text: n of Text(n) in characters; AnsiText, Binary: bytes. 0 for the
    // other kinds (the writer uses the kind's own size).
    uint32_t size = 0;
    uint32_t precision = 0;              // Decimal: digits in all
    int32_t scale = 0;                   // Decimal: digits after the point
    bool nullable = true;
    bool key = false;                    // part of its table's primary key
    bool computed = false;               // in no base table (no base table information)
    bool visible = true;

    // What the format carries besides; empty values are filled by the writer
    // with the usual ones, the reader keeps what it read.
    QString baseTable;                   // name of its table (empty: the recordset's table)
    QString baseColumn;                  // name in the base table (empty: name)
    uint16_t baseColumnOrdinal = 0;      // 0: position in the recordset
    // Which of the name and base table fields the descriptor carries (the
    // 0xF00000 bits of its presence map); nullopt: the name always, the base
    // table fields unless computed.
    std::optional<uint32_t> presence;
    std::optional<QString> baseCatalog;
    std::optional<QString> baseSchema;
    uint16_t dbType = 0;                 // wire type (DBTYPE_*); 0: the kind's usual one
    std::optional<uint32_t> flags;       // DBCOLUMNFLAGS; nullopt: derived from the fields above
    std::optional<uint32_t> maxLength;   // adtgColumnMaxLength; nullopt: derived
    std::optional<uint32_t> wirePrecision;  // as written; nullopt: derived
    std::optional<int32_t> wireScale;       // as written; nullopt: derived
    std::optional<bool> autoIncrement;   // IsAutoIncrement; nullopt: present, true for AutoNumber only
    // Optional descriptor fields that Windows omits; kept when read.
    std::optional<int32_t> collatingSequence;
    std::optional<int32_t> computeMode;
    std::optional<uint32_t> dateTimePrecision;
    std::optional<QByteArray> defaultValue;  // 16 bytes
    std::optional<bool> caseSensitive;
    std::optional<bool> multiValued;
    std::optional<uint32_t> searchable;
    std::optional<bool> unique;
    std::optional<uint32_t> octetLength;
};

struct TAdtgRecordset {
    QString tableName;
    std::vector<TAdtgColumn> columns;
    std::vector<TAdtgRow> rows;          // each row has one value per column

    // What a TableGram carries besides the data. The writer fills the usual
    // values where these are empty; the reader keeps what it read, so that
    // writing a read recordset back gives the same bytes.
    std::vector<TAdtgTable> tables;      // empty: one table, tableName, holding every base column
    std::optional<std::vector<TAdtgPropertySet>> resultProperties;
    std::optional<std::vector<TAdtgPropertySet>> contextProperties;
    uint16_t asyncOptions = 3;
    uint8_t updateType = 1;
    QString originalUrl;
    QString updateUrl;
    QString friendlyName;

    // Index of the column of that name (letter case ignored), -1 if none.
    int ColumnIndex(const QString& name) const;
    // The value of a row's column by name; NULL when there is no such column.
    const TAdtgValue& Value(size_t row, const QString& column) const;
};

// A column of one of our tables' kinds with the usual metadata.
TAdtgColumn AdtgColumn(const QString& name, TAdtgKind kind, uint32_t size = 0);
// Decimal(precision, scale).
TAdtgColumn AdtgDecimalColumn(const QString& name, uint32_t precision, int32_t scale);

// The TableGram of a recordset; an empty array when the recordset cannot be
// written (a row with the wrong number of values, a value of the wrong type
// for its column, a text longer than its column, NULL in a column that is not
// nullable).
QByteArray WriteAdtg(const TAdtgRecordset& recordset);
bool WriteAdtg(const TAdtgRecordset& recordset, QByteArray& out, QString& error);

// Reads one TableGram. On failure `recordset` is left as it was and `error`
// says what is wrong and where.
bool ReadAdtg(const QByteArray& data, TAdtgRecordset& recordset, QString& error);

} // namespace pm
