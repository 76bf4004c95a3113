#include "session/adtg.h"

#include "components/win1252.h"

#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace pm {

namespace {

// Tokens of the TableGram.
constexpr uint8_t kTokenHeader = 0x01;
constexpr uint8_t kTokenHandlerOptions = 0x02;
constexpr uint8_t kTokenResultDescriptor = 0x03;
constexpr uint8_t kTokenTableDescriptor = 0x05;
constexpr uint8_t kTokenColumnDescriptor = 0x06;
constexpr uint8_t kTokenOriginalRow = 0x07;
constexpr uint8_t kTokenChangeRow = 0x0A;
constexpr uint8_t kTokenDeleteRow = 0x0C;
constexpr uint8_t kTokenInsertRow = 0x0D;
constexpr uint8_t kTokenDone = 0x0F;
constexpr uint8_t kTokenResultContext = 0x10;

// Column data types.
enum : uint16_t {
    DBTYPE_EMPTY = 0x00, DBTYPE_NULL = 0x01, DBTYPE_I2 = 0x02, DBTYPE_I4 = 0x03,
    DBTYPE_R4 = 0x04, DBTYPE_R8 = 0x05, DBTYPE_CY = 0x06, DBTYPE_DATE = 0x07,
    DBTYPE_BSTR = 0x08, DBTYPE_ERROR = 0x0A, DBTYPE_BOOL = 0x0B, DBTYPE_DECIMAL = 0x0E,
    DBTYPE_I1 = 0x10, DBTYPE_UI1 = 0x11, DBTYPE_UI2 = 0x12, DBTYPE_UI4 = 0x13,
    DBTYPE_I8 = 0x14, DBTYPE_UI8 = 0x15, DBTYPE_GUID = 0x48, DBTYPE_BYTES = 0x80,
    DBTYPE_STR = 0x81, DBTYPE_WSTR = 0x82, DBTYPE_NUMERIC = 0x83, DBTYPE_DBDATE = 0x85,
    DBTYPE_DBTIME = 0x86, DBTYPE_DBTIMESTAMP = 0x87, DBTYPE_HCHAPTER = 0x88,
    DBTYPE_VARNUMERIC = 0x8B,
};

// Column flags.
constexpr uint32_t kFlagWriteUnknown = 0x0008;
constexpr uint32_t kFlagFixedLength = 0x0010;
constexpr uint32_t kFlagIsNullable = 0x0020;
constexpr uint32_t kFlagMayBeNull = 0x0040;
constexpr uint32_t kFlagIsLong = 0x0080;
constexpr uint32_t kFlagIsChapter = 0x2000;
constexpr uint32_t kFlagKeyColumn = 0x8000;

// Presence map bits of the column descriptor (the three bytes read as one
// big-endian number).
constexpr uint32_t kHasFriendlyName = 0x800000;
constexpr uint32_t kHasBaseTableOrdinal = 0x400000;
constexpr uint32_t kHasBaseColumnOrdinal = 0x200000;
constexpr uint32_t kHasBaseColumnName = 0x100000;
constexpr uint32_t kHasBaseCatalog = 0x020000;
constexpr uint32_t kHasBaseSchema = 0x010000;
constexpr uint32_t kHasCollatingSequence = 0x008000;
constexpr uint32_t kHasComputeMode = 0x004000;
constexpr uint32_t kHasDateTimePrecision = 0x002000;
constexpr uint32_t kHasDefaultValue = 0x001000;
constexpr uint32_t kHasAutoIncrement = 0x000100;
constexpr uint32_t kHasCaseSensitive = 0x000080;
constexpr uint32_t kHasMultiValued = 0x000040;
constexpr uint32_t kHasSearchable = 0x000020;
constexpr uint32_t kHasUnique = 0x000010;
constexpr uint32_t kHasOctetLength = 0x000008;
constexpr uint32_t kNamePresenceBits = 0xF00000;

// A read recordset may not hold more values than this (rows count as values
// too): a report's recordsets are a few thousand values, and a stream of
// millions of values that take no bytes (NULLs) is refused before it fills
// the memory (a million values are some 32 MB).
constexpr size_t kMaxCells = 1'000'000;

// The memo column size that the writer announces, in characters.
constexpr uint32_t kMemoMaxLength = 536870910;

const char kRecordsetGuid[16] = {'\xB6', '\x92', '\xF2', '\x3F', '\x04', '\xB2', '\xCF', '\x11',
                                 '\x8D', '\x23', '\x00', '\xAA', '\x00', '\x5F', '\xFE', '\x58'};
const char kResultGuid[16] = {'\xD2', '\xAD', '\x63', '\xF6', '\x02', '\xEB', '\xCF', '\x11',
                              '\xB0', '\xE3', '\x00', '\xAA', '\x00', '\x3F', '\x00', '\x0F'};
const char kPropSetRowset[16] = {'\xBE', '\x22', '\xB5', '\xC8', '\xF3', '\x5C', '\xCE', '\x11',
                                 '\xAD', '\xE5', '\x00', '\xAA', '\x00', '\x44', '\x77', '\x3D'};
const char kPropSetAdc[16] = {'\xC1', '\x3C', '\x8E', '\xB6', '\xEB', '\x6D', '\xD0', '\x11',
                              '\x8D', '\xF6', '\x00', '\xAA', '\x00', '\x5F', '\xFE', '\x58'};

QByteArray Guid(const char (&bytes)[16]) { return QByteArray(bytes, 16); }

TAdtgProperty IntProperty(uint32_t id, int32_t value)
{
    TAdtgProperty p;
    p.id = id;
    p.type = TAdtgProperty::Integer;
    p.intValue = value;
    return p;
}

TAdtgProperty BoolProperty(uint32_t id, bool value)
{
    TAdtgProperty p;
    p.id = id;
    p.type = TAdtgProperty::Boolean;
    p.boolValue = value;
    return p;
}

TAdtgProperty StringProperty(uint32_t id)
{
    TAdtgProperty p;
    p.id = id;
    p.type = TAdtgProperty::String;
    return p;
}

// The properties a Windows-written TableGram carries: the recordset's
// "Auto Recalc", "Update Resync" and the unique table, schema, catalog,
// resync command and reshape name ...
std::vector<TAdtgPropertySet> DefaultResultProperties()
{
    TAdtgPropertySet adc;
    adc.guid = Guid(kPropSetAdc);
    adc.properties = {IntProperty(0x0B, 1), IntProperty(0x13, 1), StringProperty(0x0D),
                      StringProperty(0x0E), StringProperty(0x0F), StringProperty(0x10),
                      StringProperty(0x12)};
    return {adc};
}

// ... and as its context: changeable and updatable, command time-out 30,
// no row limit; batch size 15, update criteria "changed columns", fetch
// sizes 15 and 50, normal thread priority.
std::vector<TAdtgPropertySet> DefaultContextProperties()
{
    TAdtgPropertySet rowset;
    rowset.guid = Guid(kPropSetRowset);
    rowset.properties = {BoolProperty(0x7F, true), BoolProperty(0x86, true),
                         IntProperty(0x22, 30), IntProperty(0x49, 0)};
    TAdtgPropertySet adc;
    adc.guid = Guid(kPropSetAdc);
    adc.properties = {IntProperty(0x04, 15), IntProperty(0x05, 2), IntProperty(0x03, 15),
                      IntProperty(0x07, 50), IntProperty(0x08, 3)};
    return {rowset, adc};
}

// Byte size of a fixed-size type's value; 0 for the text and byte types
// (whose size the column gives) and for types this codec does not carry.
uint32_t FixedSize(uint16_t dbType)
{
    switch (dbType) {
    case DBTYPE_I1: case DBTYPE_UI1: return 1;
    case DBTYPE_I2: case DBTYPE_UI2: case DBTYPE_BOOL: return 2;
    case DBTYPE_I4: case DBTYPE_UI4: case DBTYPE_R4: return 4;
    case DBTYPE_I8: case DBTYPE_UI8: case DBTYPE_R8: case DBTYPE_CY: case DBTYPE_DATE: return 8;
    case DBTYPE_DBDATE: case DBTYPE_DBTIME: return 6;
    case DBTYPE_DECIMAL: case DBTYPE_GUID: case DBTYPE_DBTIMESTAMP: return 16;
    case DBTYPE_NUMERIC: return 19;
    default: return 0;
    }
}

bool IsTextType(uint16_t dbType)
{
    return dbType == DBTYPE_WSTR || dbType == DBTYPE_BSTR || dbType == DBTYPE_STR ||
           dbType == DBTYPE_BYTES;
}

// Bytes per unit of adtgColumnMaxLength for the text and byte types.
uint32_t UnitSize(uint16_t dbType)
{
    return dbType == DBTYPE_WSTR || dbType == DBTYPE_BSTR ? 2 : 1;
}

uint16_t DefaultDbType(TAdtgKind kind)
{
    switch (kind) {
    case TAdtgKind::Text: case TAdtgKind::Memo: return DBTYPE_WSTR;
    case TAdtgKind::Long: case TAdtgKind::AutoNumber: return DBTYPE_I4;
    case TAdtgKind::Currency: return DBTYPE_CY;
    case TAdtgKind::DateTime: return DBTYPE_DATE;
    case TAdtgKind::YesNo: return DBTYPE_BOOL;
    case TAdtgKind::Decimal: return DBTYPE_DECIMAL;
    case TAdtgKind::AnsiText: return DBTYPE_STR;
    case TAdtgKind::Integer: return DBTYPE_I2;
    case TAdtgKind::Single: return DBTYPE_R4;
    case TAdtgKind::Double: return DBTYPE_R8;
    case TAdtgKind::Guid: return DBTYPE_GUID;
    case TAdtgKind::Binary: return DBTYPE_BYTES;
    }
    return DBTYPE_EMPTY;
}

// Whether a wire type can carry a kind's values.
bool TypeFitsKind(uint16_t dbType, TAdtgKind kind)
{
    switch (kind) {
    case TAdtgKind::Text: case TAdtgKind::Memo:
        return dbType == DBTYPE_WSTR || dbType == DBTYPE_BSTR || dbType == DBTYPE_STR;
    case TAdtgKind::AnsiText: return dbType == DBTYPE_STR || dbType == DBTYPE_WSTR || dbType == DBTYPE_BSTR;
    case TAdtgKind::Long: case TAdtgKind::AutoNumber: return dbType == DBTYPE_I4;
    case TAdtgKind::Integer:
        return dbType == DBTYPE_I1 || dbType == DBTYPE_I2 || dbType == DBTYPE_I4 ||
               dbType == DBTYPE_I8 || dbType == DBTYPE_UI1 || dbType == DBTYPE_UI2 ||
               dbType == DBTYPE_UI4 || dbType == DBTYPE_UI8;
    case TAdtgKind::Currency: return dbType == DBTYPE_CY;
    case TAdtgKind::DateTime:
        return dbType == DBTYPE_DATE || dbType == DBTYPE_DBDATE || dbType == DBTYPE_DBTIME ||
               dbType == DBTYPE_DBTIMESTAMP;
    case TAdtgKind::YesNo: return dbType == DBTYPE_BOOL;
    case TAdtgKind::Decimal: return dbType == DBTYPE_DECIMAL || dbType == DBTYPE_NUMERIC;
    case TAdtgKind::Single: return dbType == DBTYPE_R4;
    case TAdtgKind::Double: return dbType == DBTYPE_R8;
    case TAdtgKind::Guid: return dbType == DBTYPE_GUID;
    case TAdtgKind::Binary: return dbType == DBTYPE_BYTES;
    }
    return false;
}

uint32_t DefaultPrecision(const TAdtgColumn& c, uint16_t dbType)
{
    if (c.kind == TAdtgKind::Decimal)
        return c.precision;
    switch (dbType) {
    case DBTYPE_I1: case DBTYPE_UI1: return 3;
    case DBTYPE_I2: case DBTYPE_UI2: return 5;
    case DBTYPE_I4: case DBTYPE_UI4: return 10;
    case DBTYPE_I8: case DBTYPE_CY: return 19;
    case DBTYPE_UI8: return 20;
    case DBTYPE_R4: return 7;
    case DBTYPE_R8: return 15;
    default: return 255;
    }
}

// Where the bits of the row maps go: the first column in the highest bit of
// the first byte.
bool MapBit(const QByteArray& map, size_t index)
{
    return (uint8_t(map[qsizetype(index / 8)]) >> (7 - index % 8)) & 1;
}

// ---------------------------------------------------------------- writing

struct WriteError {
    QString text;
};

class Out {
public:
    QByteArray bytes;

    void U8(uint8_t v) { bytes.append(char(v)); }
    void U16(uint16_t v) { Raw(&v, 2); }
    void U32(uint32_t v) { Raw(&v, 4); }
    void I32(int32_t v) { Raw(&v, 4); }
    void I64(int64_t v) { Raw(&v, 8); }
    void F64(double v) { Raw(&v, 8); }
    void F32(float v) { Raw(&v, 4); }
    void Bytes(const QByteArray& b) { bytes.append(b); }
    void Bytes(const char* data, qsizetype size) { bytes.append(data, size); }
    // Length in characters, then UTF-16LE.
    void Name(const QString& s, const char* what)
    {
        if (s.size() > 0xFFFF)
            throw WriteError{QString("%1 is longer than 65535 characters").arg(what)};
        U16(uint16_t(s.size()));
        Utf16(s);
    }
    // Length in bytes, then UTF-16LE.
    void ByteCountString(const QString& s)
    {
        if (s.size() > 0x7FFF)
            throw WriteError{"a property text is longer than 32767 characters"};
        U16(uint16_t(s.size() * 2));
        Utf16(s);
    }
    void Utf16(const QString& s)
    {
        for (QChar ch : s)
            U16(ch.unicode());
    }
    // Starts an element with a USHORT size; End fills the size in.
    qsizetype Begin(uint8_t token)
    {
        U8(token);
        U16(0);
        return bytes.size();
    }
    void End(qsizetype start, const char* what)
    {
        qsizetype size = bytes.size() - start;
        if (size > 0xFFFF)
            throw WriteError{QString("the %1 is larger than 65535 bytes").arg(what)};
        uint16_t le = qToLittleEndian(uint16_t(size));
        std::memcpy(bytes.data() + start - 2, &le, 2);
    }

private:
    template <typename T>
    void Raw(const T* v, int size)
    {
        T le = qToLittleEndian(*v);
        bytes.append(reinterpret_cast<const char*>(&le), size);
    }
};

void WritePropertySets(Out& out, const std::vector<TAdtgPropertySet>& sets)
{
    if (sets.empty())
        return;
    out.U16(uint16_t(std::min<size_t>(sets.size(), 0xFFFF)));
    for (const TAdtgPropertySet& set : sets) {
        if (set.guid.size() != 16)
            throw WriteError{"a property set identifier is not 16 bytes"};
        out.Bytes(set.guid);
        if (set.properties.size() > 0xFFFF)
            throw WriteError{"a property set holds more than 65535 properties"};
        out.U16(uint16_t(set.properties.size()));
        for (const TAdtgProperty& p : set.properties) {
            out.U32(p.id);
            switch (p.type) {
            case TAdtgProperty::Boolean:
                out.U16(2);
                out.U16(p.boolValue ? 0xFFFF : 0x0000);
                break;
            case TAdtgProperty::Integer:
                out.U16(4);
                out.I32(p.intValue);
                break;
            case TAdtgProperty::String:
                out.ByteCountString(p.stringValue);
                break;
            }
        }
    }
}

// The wire description of one column, everything derived filled in.
struct WireColumn {
    uint16_t dbType = 0;
    uint32_t maxLength = 0;
    uint32_t flags = 0;
    bool fixedText = false;      // text or bytes of the column's whole length
    bool shortPrefix = false;    // one-byte length prefix
    bool nullable = false;
};

WireColumn Describe(const TAdtgColumn& c, const QString& where)
{
    WireColumn w;
    w.dbType = c.dbType ? c.dbType : DefaultDbType(c.kind);
    if (!TypeFitsKind(w.dbType, c.kind))
        throw WriteError{QString("%1: type 0x%2 does not fit its kind").arg(where).arg(w.dbType, 2, 16, QChar('0'))};
    const bool text = IsTextType(w.dbType);
    if (c.maxLength) {
        w.maxLength = *c.maxLength;
    } else if (text) {
        if (c.kind == TAdtgKind::Memo)
            w.maxLength = kMemoMaxLength;
        else if (c.size)
            w.maxLength = c.size;
        else if (c.kind == TAdtgKind::Binary)
            w.maxLength = 0xFFFFFFFF;
        else
            throw WriteError{QString("%1: a text column needs its size").arg(where)};
    } else {
        w.maxLength = FixedSize(w.dbType);
    }
    if (c.flags) {
        w.flags = *c.flags;
    } else {
        w.flags = kFlagWriteUnknown;
        if (!text)
            w.flags |= kFlagFixedLength;
        if (c.nullable)
            w.flags |= kFlagIsNullable | kFlagMayBeNull;
        if (c.kind == TAdtgKind::Memo)
            w.flags |= kFlagIsLong;
        if (c.key)
            w.flags |= kFlagKeyColumn;
    }
    if (w.flags & kFlagIsChapter)
        throw WriteError{QString("%1: chapter columns are not written").arg(where)};
    w.nullable = (w.flags & (kFlagIsNullable | kFlagMayBeNull)) != 0;
    if (text) {
        w.fixedText = (w.flags & kFlagFixedLength) != 0;
        w.shortPrefix = uint64_t(w.maxLength) * UnitSize(w.dbType) <= 255;
    }
    return w;
}

// Where a value sits, put into words only when something is wrong with it.
struct Where {
    size_t row;
    size_t column;
    const TAdtgColumn& c;
    QString Text() const
    {
        return QString("row %1, column %2 (%3)").arg(row + 1).arg(column + 1).arg(c.name);
    }
};

template <typename T>
const T& Expect(const TAdtgValue& v, const Where& where)
{
    if (const T* p = std::get_if<T>(&v))
        return *p;
    throw WriteError{QString("%1: the value is of the wrong type for the column").arg(where.Text())};
}

void WriteInteger(Out& out, uint16_t dbType, int64_t v, const Where& where)
{
    auto check = [&](int64_t lo, int64_t hi) {
        if (v < lo || v > hi)
            throw WriteError{QString("%1: %2 is out of the column's range").arg(where.Text()).arg(v)};
    };
    switch (dbType) {
    case DBTYPE_I1: check(-128, 127); out.U8(uint8_t(int8_t(v))); break;
    case DBTYPE_UI1: check(0, 255); out.U8(uint8_t(v)); break;
    case DBTYPE_I2: check(-32768, 32767); out.U16(uint16_t(int16_t(v))); break;
    case DBTYPE_UI2: check(0, 65535); out.U16(uint16_t(v)); break;
    case DBTYPE_I4: check(INT32_MIN, INT32_MAX); out.I32(int32_t(v)); break;
    case DBTYPE_UI4: check(0, UINT32_MAX); out.U32(uint32_t(v)); break;
    case DBTYPE_I8: case DBTYPE_UI8: out.I64(v); break;
    }
}

void WriteText(Out& out, const WireColumn& w, const QByteArray& data, const Where& where)
{
    const uint32_t unit = UnitSize(w.dbType);
    if (w.fixedText) {
        const uint64_t size = uint64_t(w.maxLength) * unit;
        if (uint64_t(data.size()) > size)
            throw WriteError{QString("%1: the value is longer than the column").arg(where.Text())};
        out.Bytes(data);
        // Fixed-length text is padded with blanks, bytes with zeros.
        const char pad = w.dbType == DBTYPE_BYTES ? '\0' : ' ';
        for (uint64_t i = uint64_t(data.size()); i < size; i += unit) {
            out.U8(uint8_t(pad));
            if (unit == 2)
                out.U8(0);
        }
        return;
    }
    if (uint64_t(data.size()) > uint64_t(w.maxLength) * unit)
        throw WriteError{QString("%1: the value is longer than the column").arg(where.Text())};
    if (w.shortPrefix) {
        out.U8(uint8_t(data.size()));
    } else {
        if (data.size() > INT32_MAX)
            throw WriteError{QString("%1: the value is too long").arg(where.Text())};
        out.I32(int32_t(data.size()));
    }
    out.Bytes(data);
}

QByteArray Utf16Bytes(const QString& s)
{
    QByteArray b;
    b.reserve(s.size() * 2);
    for (QChar ch : s) {
        b.append(char(ch.unicode() & 0xFF));
        b.append(char(ch.unicode() >> 8));
    }
    return b;
}

void WriteValue(Out& out, const TAdtgColumn& c, const WireColumn& w, const TAdtgValue& v,
                const Where& where)
{
    switch (w.dbType) {
    case DBTYPE_WSTR: case DBTYPE_BSTR:
        WriteText(out, w, Utf16Bytes(Expect<QString>(v, where)), where);
        break;
    case DBTYPE_STR:
        WriteText(out, w, ToWin1252(Expect<QString>(v, where)), where);
        break;
    case DBTYPE_BYTES:
        WriteText(out, w, Expect<QByteArray>(v, where), where);
        break;
    case DBTYPE_I1: case DBTYPE_UI1: case DBTYPE_I2: case DBTYPE_UI2: case DBTYPE_I4:
    case DBTYPE_UI4: case DBTYPE_I8: case DBTYPE_UI8:
        WriteInteger(out, w.dbType, Expect<int64_t>(v, where), where);
        break;
    case DBTYPE_R4: out.F32(float(Expect<double>(v, where))); break;
    case DBTYPE_R8: case DBTYPE_DATE: out.F64(Expect<double>(v, where)); break;
    case DBTYPE_CY: out.I64(Expect<Currency>(v, where).Units()); break;
    case DBTYPE_BOOL: out.U16(Expect<bool>(v, where) ? 0xFFFF : 0x0000); break;
    case DBTYPE_DECIMAL: {
        const TAdtgDecimal& d = Expect<TAdtgDecimal>(v, where);
        if (d.scale > 28)
            throw WriteError{QString("%1: a decimal scale above 28").arg(where.Text())};
        out.U16(0);
        out.U8(d.scale);
        out.U8(d.negative ? 0x80 : 0x00);
        out.U32(d.hi);
        out.U32(uint32_t(d.lo));
        out.U32(uint32_t(d.lo >> 32));
        break;
    }
    case DBTYPE_NUMERIC: {
        const TAdtgDecimal& d = Expect<TAdtgDecimal>(v, where);
        if (d.scale > 28)
            throw WriteError{QString("%1: a decimal scale above 28").arg(where.Text())};
        out.U8(uint8_t(std::min<uint32_t>(c.wirePrecision.value_or(c.precision), 255)));
        out.U8(d.scale);
        out.U8(d.negative ? 0 : 1);
        out.U32(uint32_t(d.lo));
        out.U32(uint32_t(d.lo >> 32));
        out.U32(d.hi);
        out.U32(0);
        break;
    }
    case DBTYPE_GUID: {
        const QByteArray& g = Expect<QByteArray>(v, where);
        if (g.size() != 16)
            throw WriteError{QString("%1: a GUID is not 16 bytes").arg(where.Text())};
        out.Bytes(g);
        break;
    }
    case DBTYPE_DBDATE: case DBTYPE_DBTIME: case DBTYPE_DBTIMESTAMP: {
        const double t = Expect<double>(v, where);
        if (!std::isfinite(t) || t < -693593.0 || t > 2958466.0)
            throw WriteError{QString("%1: the date is out of range").arg(where.Text())};
        int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
        DecodeDate(t, year, month, day);
        DecodeTime(t, hour, minute, second, msec);
        if (w.dbType != DBTYPE_DBTIME) {
            out.U16(uint16_t(year));
            out.U16(uint16_t(month));
            out.U16(uint16_t(day));
        }
        if (w.dbType != DBTYPE_DBDATE) {
            out.U16(uint16_t(hour));
            out.U16(uint16_t(minute));
            out.U16(uint16_t(second));
        }
        if (w.dbType == DBTYPE_DBTIMESTAMP)
            out.U32(uint32_t(msec) * 1000000u);
        break;
    }
    default:
        throw WriteError{QString("%1: type 0x%2 is not written").arg(where.Text()).arg(w.dbType, 2, 16, QChar('0'))};
    }
}

QString ColumnWhere(const TAdtgColumn& c, size_t index)
{
    return QString("column %1 (%2)").arg(index + 1).arg(c.name);
}

QByteArray Write(const TAdtgRecordset& rs)
{
    const size_t columnCount = rs.columns.size();
    if (columnCount > 0xFFFF)
        throw WriteError{"more than 65535 columns"};
    std::vector<WireColumn> wire;
    wire.reserve(columnCount);
    for (size_t i = 0; i < columnCount; ++i)
        wire.push_back(Describe(rs.columns[i], ColumnWhere(rs.columns[i], i)));

    // The base tables: as given, or the one table of the recordset.
    std::vector<TAdtgTable> tables = rs.tables;
    if (tables.empty()) {
        TAdtgTable t;
        t.ordinal = 1;
        t.originalName = rs.tableName;
        t.updateName = rs.tableName;
        for (size_t i = 0; i < columnCount; ++i) {
            const TAdtgColumn& c = rs.columns[i];
            if (c.computed)
                continue;
            ++t.columnCount;
            if (c.key)
                t.keyColumns.push_back(c.baseColumnOrdinal ? c.baseColumnOrdinal : uint16_t(i + 1));
        }
        std::sort(t.keyColumns.begin(), t.keyColumns.end());
        tables.push_back(t);
    }
    if (tables.size() > 0xFFFF)
        throw WriteError{"more than 65535 base tables"};
    auto tableOrdinal = [&](const QString& name) -> uint16_t {
        if (name.isEmpty())
            return tables.front().ordinal;
        for (const TAdtgTable& t : tables)
            if (t.updateName.compare(name, Qt::CaseInsensitive) == 0 ||
                t.originalName.compare(name, Qt::CaseInsensitive) == 0)
                return t.ordinal;
        throw WriteError{QString("a column's base table \"%1\" is not among the tables").arg(name)};
    };

    Out out;
    // Header: "TG!", version 0.0, little-endian, non-Unicode row text.
    out.U8(kTokenHeader);
    out.U8(7);
    out.Bytes("TG!", 3);
    out.U8(0);
    out.U8(0);
    out.U8(0);
    out.U8(0);

    qsizetype at = out.Begin(kTokenHandlerOptions);
    out.Bytes(Guid(kRecordsetGuid));
    out.U8(rs.updateType);
    out.Name(rs.originalUrl, "the original address");
    out.Name(rs.updateUrl, "the update address");
    out.Name(rs.friendlyName, "the handler name");
    out.U16(rs.asyncOptions);
    out.End(at, "handler options");

    uint16_t visible = 0, computed = 0;
    for (const TAdtgColumn& c : rs.columns) {
        visible += c.visible ? 1 : 0;
        computed += c.computed ? 1 : 0;
    }
    at = out.Begin(kTokenResultDescriptor);
    out.Bytes(Guid(kResultGuid));
    out.U8(0);   // reserved
    out.U8(0);   // snapshot cursor
    out.U8(0);   // not normalized
    out.U16(visible);
    out.U16(uint16_t(columnCount));
    out.U16(computed);
    out.U16(uint16_t(tables.size()));
    out.U16(0);  // order-by columns
    out.U32(uint32_t(std::min<size_t>(rs.rows.size(), UINT32_MAX)));
    WritePropertySets(out, rs.resultProperties ? *rs.resultProperties : DefaultResultProperties());
    out.End(at, "recordset descriptor");

    at = out.Begin(kTokenResultContext);
    WritePropertySets(out, rs.contextProperties ? *rs.contextProperties : DefaultContextProperties());
    out.End(at, "recordset context");

    for (const TAdtgTable& t : tables) {
        at = out.Begin(kTokenTableDescriptor);
        out.U16(t.ordinal);
        out.Name(t.originalName, "a table name");
        out.Name(t.updateName, "a table name");
        out.U16(0);  // code page
        out.U16(t.columnCount);
        if (t.keyColumns.size() > 0xFFFF)
            throw WriteError{"more than 65535 key columns"};
        out.U16(uint16_t(t.keyColumns.size()));
        for (uint16_t k : t.keyColumns)
            out.U16(k);
        out.End(at, "table descriptor");
    }

    for (size_t i = 0; i < columnCount; ++i) {
        const TAdtgColumn& c = rs.columns[i];
        const WireColumn& w = wire[i];
        uint32_t presence = c.presence ? (*c.presence & kNamePresenceBits)
                                       : (c.computed ? kHasFriendlyName : kNamePresenceBits);
        if (c.baseCatalog) presence |= kHasBaseCatalog;
        if (c.baseSchema) presence |= kHasBaseSchema;
        if (c.collatingSequence) presence |= kHasCollatingSequence;
        if (c.computeMode) presence |= kHasComputeMode;
        if (c.dateTimePrecision) presence |= kHasDateTimePrecision;
        if (c.defaultValue) presence |= kHasDefaultValue;
        const bool autoInc = c.autoIncrement.value_or(c.kind == TAdtgKind::AutoNumber);
        if (!c.presence || c.autoIncrement || (*c.presence & kHasAutoIncrement)) presence |= kHasAutoIncrement;
        if (c.caseSensitive) presence |= kHasCaseSensitive;
        if (c.multiValued) presence |= kHasMultiValued;
        if (c.searchable) presence |= kHasSearchable;
        if (c.unique) presence |= kHasUnique;
        if (c.octetLength) presence |= kHasOctetLength;

        at = out.Begin(kTokenColumnDescriptor);
        out.U8(uint8_t(presence >> 16));
        out.U8(uint8_t(presence >> 8));
        out.U8(uint8_t(presence));
        out.U16(uint16_t(i + 1));
        if (presence & kHasFriendlyName)
            out.Name(c.name, "a column name");
        if (presence & kHasBaseTableOrdinal)
            out.U16(tableOrdinal(c.baseTable));
        if (presence & kHasBaseColumnOrdinal)
            out.U16(c.baseColumnOrdinal ? c.baseColumnOrdinal : uint16_t(i + 1));
        if (presence & kHasBaseColumnName)
            out.Name(c.baseColumn.isEmpty() ? c.name : c.baseColumn, "a column name");
        out.U16(w.dbType);
        out.U32(w.maxLength);
        out.U32(c.wirePrecision.value_or(DefaultPrecision(c, w.dbType)));
        out.I32(c.wireScale.value_or(c.kind == TAdtgKind::Decimal ? c.scale : 255));
        out.U32(w.flags);
        if (c.baseCatalog) out.Name(*c.baseCatalog, "a catalog name");
        if (c.baseSchema) out.Name(*c.baseSchema, "a schema name");
        if (c.collatingSequence) out.I32(*c.collatingSequence);
        if (c.computeMode) out.I32(*c.computeMode);
        if (c.dateTimePrecision) out.U32(*c.dateTimePrecision);
        if (c.defaultValue) {
            if (c.defaultValue->size() != 16)
                throw WriteError{QString("%1: a default value is not 16 bytes").arg(ColumnWhere(c, i))};
            out.Bytes(*c.defaultValue);
        }
        if (presence & kHasAutoIncrement) out.U16(autoInc ? 0xFFFF : 0x0000);
        if (c.caseSensitive) out.U16(*c.caseSensitive ? 0xFFFF : 0x0000);
        if (c.multiValued) out.U16(*c.multiValued ? 0xFFFF : 0x0000);
        if (c.searchable) out.U32(*c.searchable);
        if (c.unique) out.U16(*c.unique ? 0xFFFF : 0x0000);
        if (c.octetLength) out.U32(*c.octetLength);
        out.U16(c.visible ? 0xFFFF : 0x0000);
        out.End(at, "column descriptor");
    }

    size_t nullableCount = 0;
    for (const WireColumn& w : wire)
        nullableCount += w.nullable ? 1 : 0;
    const size_t mapSize = (nullableCount + 7) / 8;

    for (size_t r = 0; r < rs.rows.size(); ++r) {
        const TAdtgRow& row = rs.rows[r];
        if (row.size() != columnCount)
            throw WriteError{QString("row %1 has %2 values for %3 columns").arg(r + 1).arg(row.size()).arg(columnCount)};
        out.U8(kTokenOriginalRow);
        // Presence of the nullable columns' values; the unused low bits of
        // the last byte are set, as Windows writes them.
        QByteArray map(qsizetype(mapSize), char(0xFF));
        size_t n = 0;
        for (size_t i = 0; i < columnCount; ++i) {
            if (!wire[i].nullable)
                continue;
            if (IsNull(row[i]))
                map[qsizetype(n / 8)] = char(uint8_t(map[qsizetype(n / 8)]) & ~(0x80 >> (n % 8)));
            ++n;
        }
        out.Bytes(map);
        for (size_t i = 0; i < columnCount; ++i) {
            const Where where{r, i, rs.columns[i]};
            if (IsNull(row[i])) {
                if (!wire[i].nullable)
                    throw WriteError{where.Text() + ": NULL in a column that is not nullable"};
                continue;
            }
            WriteValue(out, rs.columns[i], wire[i], row[i], where);
        }
    }
    out.U8(kTokenDone);
    return out.bytes;
}

// ---------------------------------------------------------------- reading

struct ReadError {
    QString text;
};

class In {
public:
    In(const QByteArray& data) : data_(reinterpret_cast<const uint8_t*>(data.constData())), end_(size_t(data.size())) {}

    size_t Pos() const { return pos_; }
    size_t Remaining() const { return end_ - pos_; }
    bool AtEnd() const { return pos_ >= end_; }

    [[noreturn]] void Fail(const QString& what) const
    {
        throw ReadError{QString("%1 at byte %2").arg(what).arg(pos_)};
    }
    void Need(uint64_t n, const char* what) const
    {
        if (n > Remaining())
            Fail(QString("%1 runs past the end of its data (%2 bytes needed, %3 left)")
                     .arg(what).arg(n).arg(Remaining()));
    }
    uint8_t U8(const char* what)
    {
        Need(1, what);
        return data_[pos_++];
    }
    uint16_t U16(const char* what) { return Fixed<uint16_t>(what); }
    uint32_t U32(const char* what) { return Fixed<uint32_t>(what); }
    int32_t I32(const char* what) { return Fixed<int32_t>(what); }
    int64_t I64(const char* what) { return Fixed<int64_t>(what); }
    uint64_t U64(const char* what) { return Fixed<uint64_t>(what); }
    double F64(const char* what)
    {
        uint64_t bits = U64(what);
        double v;
        std::memcpy(&v, &bits, 8);
        return v;
    }
    float F32(const char* what)
    {
        uint32_t bits = U32(what);
        float v;
        std::memcpy(&v, &bits, 4);
        return v;
    }
    const uint8_t* Take(uint64_t n, const char* what)
    {
        Need(n, what);
        const uint8_t* p = data_ + pos_;
        pos_ += size_t(n);
        return p;
    }
    QByteArray Bytes(uint64_t n, const char* what)
    {
        const uint8_t* p = Take(n, what);
        return QByteArray(reinterpret_cast<const char*>(p), qsizetype(n));
    }
    QString Utf16(uint64_t chars, const char* what)
    {
        const uint8_t* p = Take(chars * 2, what);
        QString s(qsizetype(chars), Qt::Uninitialized);
        for (uint64_t i = 0; i < chars; ++i)
            s[qsizetype(i)] = QChar(char16_t(p[2 * i] | (p[2 * i + 1] << 8)));
        return s;
    }
    // Length in characters, then UTF-16LE.
    QString Name(const char* what) { return Utf16(U16(what), what); }
    // Length in bytes, then UTF-16LE.
    QString ByteCountString(const char* what)
    {
        const uint16_t bytes = U16(what);
        if (bytes % 2)
            Fail(QString("%1 has an odd byte count").arg(what));
        return Utf16(bytes / 2, what);
    }
    // An element with a USHORT size: a reader limited to it. The caller
    // goes on after the element with Skip.
    In Element(const char* what)
    {
        const uint16_t size = U16(what);
        Need(size, what);
        In sub = *this;
        sub.end_ = pos_ + size;
        return sub;
    }
    void SkipTo(const In& sub) { pos_ = sub.end_; }

private:
    template <typename T>
    T Fixed(const char* what)
    {
        Need(sizeof(T), what);
        T v;
        std::memcpy(&v, data_ + pos_, sizeof(T));
        pos_ += sizeof(T);
        return qFromLittleEndian(v);
    }

    const uint8_t* data_;
    size_t pos_ = 0;
    size_t end_;
};

std::vector<TAdtgPropertySet> ReadPropertySets(In& in)
{
    std::vector<TAdtgPropertySet> sets;
    if (in.AtEnd())
        return sets;
    const uint16_t count = in.U16("the property set count");
    for (uint16_t s = 0; s < count; ++s) {
        TAdtgPropertySet set;
        set.guid = in.Bytes(16, "a property set identifier");
        const bool rowset = set.guid == Guid(kPropSetRowset);
        const bool adc = set.guid == Guid(kPropSetAdc);
        const uint16_t properties = in.U16("the property count");
        for (uint16_t i = 0; i < properties; ++i) {
            TAdtgProperty p;
            p.id = in.U32("a property identifier");
            // The identifier says which kind of value follows; the two
            // boolean ones are of the rowset set, the texts of ADO's own.
            const bool boolean = rowset && (p.id == 0x7F || p.id == 0x86);
            const bool text = adc && (p.id == 0x0D || p.id == 0x0E || p.id == 0x0F ||
                                      p.id == 0x10 || p.id == 0x12);
            if (boolean) {
                if (in.U16("a property size") != 2)
                    in.Fail("a boolean property is not 2 bytes");
                p.type = TAdtgProperty::Boolean;
                p.boolValue = in.U16("a property value") != 0;
            } else if (text) {
                p.type = TAdtgProperty::String;
                p.stringValue = in.ByteCountString("a property text");
            } else {
                const uint16_t size = in.U16("a property size");
                if (size == 4) {
                    p.type = TAdtgProperty::Integer;
                    p.intValue = in.I32("a property value");
                } else {
                    if (size % 2)
                        in.Fail("a property text has an odd byte count");
                    p.type = TAdtgProperty::String;
                    p.stringValue = in.Utf16(size / 2, "a property text");
                }
            }
            set.properties.push_back(std::move(p));
        }
        sets.push_back(std::move(set));
    }
    return sets;
}

struct ReadColumn {
    TAdtgColumn column;
    uint16_t ordinal = 0;
    uint16_t baseTableOrdinal = 0;
    WireColumn wire;
};

TAdtgKind KindOf(uint16_t dbType, uint32_t flags, bool autoIncrement, In& in)
{
    switch (dbType) {
    case DBTYPE_WSTR: case DBTYPE_BSTR: return (flags & kFlagIsLong) ? TAdtgKind::Memo : TAdtgKind::Text;
    case DBTYPE_STR: return TAdtgKind::AnsiText;
    case DBTYPE_I4: return autoIncrement ? TAdtgKind::AutoNumber : TAdtgKind::Long;
    case DBTYPE_I1: case DBTYPE_I2: case DBTYPE_I8: case DBTYPE_UI1: case DBTYPE_UI2:
    case DBTYPE_UI4: case DBTYPE_UI8: return TAdtgKind::Integer;
    case DBTYPE_CY: return TAdtgKind::Currency;
    case DBTYPE_DATE: case DBTYPE_DBDATE: case DBTYPE_DBTIME: case DBTYPE_DBTIMESTAMP:
        return TAdtgKind::DateTime;
    case DBTYPE_BOOL: return TAdtgKind::YesNo;
    case DBTYPE_DECIMAL: case DBTYPE_NUMERIC: return TAdtgKind::Decimal;
    case DBTYPE_R4: return TAdtgKind::Single;
    case DBTYPE_R8: return TAdtgKind::Double;
    case DBTYPE_GUID: return TAdtgKind::Guid;
    case DBTYPE_BYTES: return TAdtgKind::Binary;
    case DBTYPE_HCHAPTER: in.Fail("chapter columns (hierarchical recordsets) are not supported");
    default:
        in.Fail(QString("column type 0x%1 is not supported").arg(dbType, 4, 16, QChar('0')));
    }
}

ReadColumn ReadColumnDescriptor(In& outer)
{
    In in = outer.Element("a column descriptor");
    ReadColumn rc;
    TAdtgColumn& c = rc.column;
    const uint8_t p1 = in.U8("the column presence map");
    const uint8_t p2 = in.U8("the column presence map");
    const uint8_t p3 = in.U8("the column presence map");
    const uint32_t presence = (uint32_t(p1) << 16) | (uint32_t(p2) << 8) | p3;
    c.presence = presence & kNamePresenceBits;
    rc.ordinal = in.U16("the column ordinal");
    if (presence & kHasFriendlyName)
        c.name = in.Name("a column name");
    if (presence & kHasBaseTableOrdinal)
        rc.baseTableOrdinal = in.U16("the base table ordinal");
    if (presence & kHasBaseColumnOrdinal)
        c.baseColumnOrdinal = in.U16("the base column ordinal");
    if (presence & kHasBaseColumnName)
        c.baseColumn = in.Name("a base column name");
    if (!(presence & kHasFriendlyName))
        c.name = c.baseColumn;
    c.computed = !(presence & kHasBaseTableOrdinal);
    const uint16_t dbType = in.U16("the column type");
    const uint32_t maxLength = in.U32("the column size");
    const uint32_t precision = in.U32("the column precision");
    const int32_t scale = in.I32("the column scale");
    const uint32_t flags = in.U32("the column flags");
    if (presence & kHasBaseCatalog) c.baseCatalog = in.Name("a catalog name");
    if (presence & kHasBaseSchema) c.baseSchema = in.Name("a schema name");
    if (presence & kHasCollatingSequence) c.collatingSequence = in.I32("the collating sequence");
    if (presence & kHasComputeMode) c.computeMode = in.I32("the compute mode");
    if (presence & kHasDateTimePrecision) c.dateTimePrecision = in.U32("the date-time precision");
    if (presence & kHasDefaultValue) c.defaultValue = in.Bytes(16, "the default value");
    if (presence & kHasAutoIncrement) c.autoIncrement = in.U16("the auto-increment mark") != 0;
    if (presence & kHasCaseSensitive) c.caseSensitive = in.U16("the case-sensitive mark") != 0;
    if (presence & kHasMultiValued) c.multiValued = in.U16("the multi-valued mark") != 0;
    if (presence & kHasSearchable) c.searchable = in.U32("the searchable mark");
    if (presence & kHasUnique) c.unique = in.U16("the unique mark") != 0;
    if (presence & kHasOctetLength) c.octetLength = in.U32("the octet length");
    c.visible = in.U16("the visible mark") != 0;
    // Calculation information and anything newer follow; skipped.
    outer.SkipTo(in);

    if ((flags & kFlagIsChapter) || dbType == DBTYPE_HCHAPTER)
        outer.Fail("chapter columns (hierarchical recordsets) are not supported");
    c.kind = KindOf(dbType, flags, c.autoIncrement.value_or(false), outer);
    c.dbType = dbType;
    c.flags = flags;
    c.maxLength = maxLength;
    c.wirePrecision = precision;
    c.wireScale = scale;
    c.nullable = (flags & (kFlagIsNullable | kFlagMayBeNull)) != 0;
    c.key = (flags & kFlagKeyColumn) != 0;
    if (c.kind == TAdtgKind::Text || c.kind == TAdtgKind::AnsiText || c.kind == TAdtgKind::Binary)
        c.size = maxLength;
    if (c.kind == TAdtgKind::Decimal) {
        c.precision = precision;
        c.scale = scale;
    }

    WireColumn& w = rc.wire;
    w.dbType = dbType;
    w.maxLength = maxLength;
    w.flags = flags;
    w.nullable = c.nullable;
    if (IsTextType(dbType)) {
        w.fixedText = (flags & kFlagFixedLength) != 0;
        w.shortPrefix = uint64_t(maxLength) * UnitSize(dbType) <= 255;
    }
    return rc;
}

QString FromUtf16Bytes(const uint8_t* p, uint64_t bytes)
{
    QString s(qsizetype(bytes / 2), Qt::Uninitialized);
    for (uint64_t i = 0; i < bytes / 2; ++i)
        s[qsizetype(i)] = QChar(char16_t(p[2 * i] | (p[2 * i + 1] << 8)));
    return s;
}

TAdtgValue ReadValue(In& in, const ReadColumn& rc)
{
    const WireColumn& w = rc.wire;
    const char* what = "a column value";
    if (IsTextType(w.dbType)) {
        uint64_t size;
        if (w.fixedText) {
            size = uint64_t(w.maxLength) * UnitSize(w.dbType);
        } else if (w.shortPrefix) {
            size = in.U8("a value length");
        } else {
            const int32_t n = in.I32("a value length");
            if (n < 0)
                in.Fail("a negative value length");
            size = uint64_t(n);
        }
        if (UnitSize(w.dbType) == 2 && size % 2)
            in.Fail("a Unicode value has an odd byte count");
        const uint8_t* p = in.Take(size, what);
        if (w.dbType == DBTYPE_BYTES)
            return QByteArray(reinterpret_cast<const char*>(p), qsizetype(size));
        if (w.dbType == DBTYPE_STR)
            return FromWin1252(reinterpret_cast<const char*>(p), qsizetype(size));
        return FromUtf16Bytes(p, size);
    }
    switch (w.dbType) {
    case DBTYPE_I1: return int64_t(int8_t(in.U8(what)));
    case DBTYPE_UI1: return int64_t(in.U8(what));
    case DBTYPE_I2: return int64_t(int16_t(in.U16(what)));
    case DBTYPE_UI2: return int64_t(in.U16(what));
    case DBTYPE_I4: return int64_t(in.I32(what));
    case DBTYPE_UI4: return int64_t(in.U32(what));
    case DBTYPE_I8: case DBTYPE_UI8: return in.I64(what);
    case DBTYPE_R4: return double(in.F32(what));
    case DBTYPE_R8: return in.F64(what);
    case DBTYPE_DATE: {
        const double t = in.F64(what);
        if (!std::isfinite(t))
            in.Fail("a date that is not a number");
        return t;
    }
    case DBTYPE_CY: return Currency::FromUnits(in.I64(what));
    case DBTYPE_BOOL: return in.U16(what) != 0;
    case DBTYPE_DECIMAL: {
        TAdtgDecimal d;
        in.U16(what);  // reserved
        d.scale = in.U8(what);
        d.negative = (in.U8(what) & 0x80) != 0;
        d.hi = in.U32(what);
        const uint64_t lo = in.U32(what);
        const uint64_t mid = in.U32(what);
        d.lo = lo | (mid << 32);
        if (d.scale > 28)
            in.Fail("a decimal scale above 28");
        return d;
    }
    case DBTYPE_NUMERIC: {
        TAdtgDecimal d;
        in.U8(what);  // precision
        d.scale = in.U8(what);
        d.negative = in.U8(what) == 0;
        d.lo = in.U64(what);
        d.hi = in.U32(what);
        if (in.U32(what) != 0)
            in.Fail("a decimal beyond 96 bits");
        if (d.scale > 28)
            in.Fail("a decimal scale above 28");
        return d;
    }
    case DBTYPE_GUID: return in.Bytes(16, what);
    case DBTYPE_DBDATE: case DBTYPE_DBTIME: case DBTYPE_DBTIMESTAMP: {
        int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
        uint32_t nanoseconds = 0;
        if (w.dbType != DBTYPE_DBTIME) {
            year = in.U16(what);
            month = in.U16(what);
            day = in.U16(what);
        }
        if (w.dbType != DBTYPE_DBDATE) {
            hour = in.U16(what);
            minute = in.U16(what);
            second = in.U16(what);
        }
        if (w.dbType == DBTYPE_DBTIMESTAMP)
            nanoseconds = in.U32(what);
        TDateTime date = 0, time = 0;
        if (!TryEncodeDate(year, month, day, date) ||
            !TryEncodeTime(hour, minute, std::min(second, 59), 0, time) || nanoseconds > 999999999)
            in.Fail("an invalid date or time");
        return CombineDateTime(date, time + double(nanoseconds / 1000000) / 86400000.0);
    }
    }
    in.Fail("a column value of an unsupported type");
}

TAdtgRow ReadRowData(In& in, const std::vector<ReadColumn>& columns, size_t nullableCount)
{
    const QByteArray map = in.Bytes((nullableCount + 7) / 8, "the row's presence map");
    TAdtgRow row(columns.size());
    size_t n = 0;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].wire.nullable && !MapBit(map, n++))
            continue;
        row[i] = ReadValue(in, columns[i]);
    }
    return row;
}

// UpdateRowData: which columns the row sets, which of them to NULL, then the
// values of the others. Columns it does not set keep `row`'s values.
void ReadUpdateData(In& in, const std::vector<ReadColumn>& columns, TAdtgRow& row)
{
    const qsizetype size = qsizetype((columns.size() + 7) / 8);
    const QByteArray update = in.Bytes(uint64_t(size), "the row's update map");
    const QByteArray forceNull = in.Bytes(uint64_t(size), "the row's null map");
    for (size_t i = 0; i < columns.size(); ++i) {
        if (!MapBit(update, i))
            continue;
        if (MapBit(forceNull, i))
            row[i] = std::monostate();
        else
            row[i] = ReadValue(in, columns[i]);
    }
}

TAdtgRecordset Read(const QByteArray& data)
{
    In in(data);
    TAdtgRecordset rs;

    if (in.U8("the header") != kTokenHeader)
        in.Fail("not a TableGram (no header token)");
    const uint8_t headerSize = in.U8("the header");
    if (headerSize < 7)
        in.Fail("a header shorter than 7 bytes");
    in.Need(headerSize, "the header");
    const uint8_t* header = in.Take(headerSize, "the header");
    if (std::memcmp(header, "TG!", 3) != 0)
        in.Fail("not a TableGram (no \"TG!\" signature)");
    if (header[5] != 0)
        in.Fail("a big-endian TableGram is not supported");

    if (in.U8("the handler options") != kTokenHandlerOptions)
        in.Fail("the handler options are missing");
    {
        In e = in.Element("the handler options");
        e.Bytes(16, "the recordset identifier");
        rs.updateType = e.U8("the update kind");
        rs.originalUrl = e.Name("the original address");
        rs.updateUrl = e.Name("the update address");
        rs.friendlyName = e.Name("the handler name");
        rs.asyncOptions = e.U16("the fetch options");
        in.SkipTo(e);
    }

    uint16_t totalColumns = 0, tableCount = 0;
    if (in.U8("the recordset descriptor") != kTokenResultDescriptor)
        in.Fail("the recordset descriptor is missing");
    {
        In e = in.Element("the recordset descriptor");
        e.Bytes(16, "the descriptor identifier");
        e.U8("the descriptor");       // reserved
        e.U8("the cursor model");
        e.U8("the normalization");
        e.U16("the visible column count");
        totalColumns = e.U16("the column count");
        e.U16("the computed column count");
        tableCount = e.U16("the table count");
        e.U16("the order-by column count");
        e.U32("the row count");       // a hint only: rows are counted as read
        rs.resultProperties = ReadPropertySets(e);
        in.SkipTo(e);
    }
    if (in.U8("the recordset context") != kTokenResultContext)
        in.Fail("the recordset context is missing");
    {
        In e = in.Element("the recordset context");
        rs.contextProperties = ReadPropertySets(e);
        in.SkipTo(e);
    }

    for (uint16_t t = 0; t < tableCount; ++t) {
        if (in.U8("a table descriptor") != kTokenTableDescriptor)
            in.Fail(QString("table descriptor %1 of %2 is missing").arg(t + 1).arg(tableCount));
        In e = in.Element("a table descriptor");
        TAdtgTable table;
        table.ordinal = e.U16("the table ordinal");
        table.originalName = e.Name("a table name");
        table.updateName = e.Name("a table name");
        e.U16("the code page");
        table.columnCount = e.U16("the table's column count");
        const uint16_t keys = e.U16("the key column count");
        e.Need(uint64_t(keys) * 2, "the key columns");
        for (uint16_t k = 0; k < keys; ++k)
            table.keyColumns.push_back(e.U16("a key column"));
        in.SkipTo(e);
        rs.tables.push_back(std::move(table));
    }
    if (!rs.tables.empty())
        rs.tableName = rs.tables.front().updateName.isEmpty() ? rs.tables.front().originalName
                                                               : rs.tables.front().updateName;

    std::vector<ReadColumn> columns;
    for (uint16_t i = 0; i < totalColumns; ++i) {
        if (in.U8("a column descriptor") != kTokenColumnDescriptor)
            in.Fail(QString("column descriptor %1 of %2 is missing").arg(i + 1).arg(totalColumns));
        ReadColumn rc = ReadColumnDescriptor(in);
        if (!rc.column.computed) {
            auto t = std::find_if(rs.tables.begin(), rs.tables.end(), [&](const TAdtgTable& table) {
                return table.ordinal == rc.baseTableOrdinal;
            });
            if (t == rs.tables.end())
                in.Fail(QString("column %1 names base table %2, which is not described")
                            .arg(i + 1).arg(rc.baseTableOrdinal));
            rc.column.baseTable = t->updateName.isEmpty() ? t->originalName : t->updateName;
        }
        columns.push_back(std::move(rc));
    }
    // Values come in the order of the column ordinals, which are 1..n.
    std::stable_sort(columns.begin(), columns.end(),
                     [](const ReadColumn& a, const ReadColumn& b) { return a.ordinal < b.ordinal; });
    for (size_t i = 0; i < columns.size(); ++i)
        if (columns[i].ordinal != i + 1)
            in.Fail(QString("the column ordinals are not 1 to %1").arg(columns.size()));
    size_t nullableCount = 0;
    for (const ReadColumn& rc : columns)
        nullableCount += rc.wire.nullable ? 1 : 0;

    size_t cells = 0;
    bool afterOriginal = false;
    for (;;) {
        const uint8_t token = in.U8("the row data (the end mark is missing)");
        if (token == kTokenDone)
            break;
        switch (token) {
        case kTokenOriginalRow:
            cells += columns.size() + 1;
            if (cells > kMaxCells)
                in.Fail("the recordset holds too many values");
            rs.rows.push_back(ReadRowData(in, columns, nullableCount));
            afterOriginal = true;
            continue;
        case kTokenInsertRow: {
            cells += columns.size() + 1;
            if (cells > kMaxCells)
                in.Fail("the recordset holds too many values");
            TAdtgRow row(columns.size());
            ReadUpdateData(in, columns, row);
            rs.rows.push_back(std::move(row));
            break;
        }
        case kTokenChangeRow:
            if (!afterOriginal)
                in.Fail("a changed row without its original");
            ReadUpdateData(in, columns, rs.rows.back());
            break;
        case kTokenDeleteRow:
            if (!afterOriginal)
                in.Fail("a deleted row without its original");
            rs.rows.pop_back();
            break;
        case kTokenResultDescriptor:
            in.Fail("child recordsets (hierarchical recordsets) are not supported");
        default:
            if (token >= 0x80)
                in.Fail("child rows (hierarchical recordsets) are not supported");
            in.Fail(QString("unexpected token 0x%1").arg(token, 2, 16, QChar('0')));
        }
        afterOriginal = false;
    }

    rs.columns.reserve(columns.size());
    for (ReadColumn& rc : columns)
        rs.columns.push_back(std::move(rc.column));
    return rs;
}

// ---------------------------------------------------------------- decimals

// The mantissa as hi:lo, multiplied or divided by small numbers.
struct U96 {
    uint32_t hi = 0;
    uint64_t lo = 0;

    bool IsZero() const { return hi == 0 && lo == 0; }
    // *= m + add; false on overflow beyond 96 bits.
    bool MulAdd(uint32_t m, uint32_t add)
    {
        const unsigned __int128 v = ((unsigned __int128)hi << 64 | lo) * m + add;
        if (v >> 96)
            return false;
        hi = uint32_t(v >> 64);
        lo = uint64_t(v);
        return true;
    }
    // /= d, the remainder returned.
    uint32_t Div(uint32_t d)
    {
        unsigned __int128 v = (unsigned __int128)hi << 64 | lo;
        const uint32_t rem = uint32_t(v % d);
        v /= d;
        hi = uint32_t(v >> 64);
        lo = uint64_t(v);
        return rem;
    }
};

} // namespace

TAdtgDecimal TAdtgDecimal::FromUnits(int64_t units, uint8_t scale)
{
    TAdtgDecimal d;
    d.scale = std::min<uint8_t>(scale, 28);
    d.negative = units < 0;
    d.lo = units < 0 ? uint64_t(0) - uint64_t(units) : uint64_t(units);
    return d;
}

std::optional<TAdtgDecimal> TAdtgDecimal::FromDouble(double value, uint8_t scale)
{
    if (!std::isfinite(value) || scale > 18)
        return std::nullopt;
    const double scaled = std::nearbyint(value * std::pow(10.0, scale));
    if (!(std::fabs(scaled) < 9.2e18))
        return std::nullopt;
    return FromUnits(int64_t(scaled), scale);
}

std::optional<TAdtgDecimal> TAdtgDecimal::Parse(const QString& text)
{
    const QString t = text.trimmed();
    qsizetype i = 0;
    TAdtgDecimal d;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) {
        d.negative = t[i] == '-';
        ++i;
    }
    U96 m;
    bool digits = false, point = false;
    int scale = 0;
    for (; i < t.size(); ++i) {
        const QChar ch = t[i];
        if (ch == '.' && !point) {
            point = true;
            continue;
        }
        if (ch < '0' || ch > '9')
            return std::nullopt;
        digits = true;
        if (point && ++scale > 28)
            return std::nullopt;
        if (!m.MulAdd(10, uint32_t(ch.unicode() - '0')))
            return std::nullopt;
    }
    if (!digits)
        return std::nullopt;
    d.scale = uint8_t(scale);
    d.hi = m.hi;
    d.lo = m.lo;
    if (m.IsZero())
        d.negative = false;
    return d;
}

QString TAdtgDecimal::ToString() const
{
    U96 m{hi, lo};
    QString digits;
    do {
        digits.prepend(QChar('0' + char(m.Div(10))));
    } while (!m.IsZero());
    while (digits.size() <= scale)
        digits.prepend('0');
    if (scale)
        digits.insert(digits.size() - scale, '.');
    if (negative && (hi || lo))
        digits.prepend('-');
    return digits;
}

double TAdtgDecimal::ToDouble() const
{
    const double m = double(hi) * 18446744073709551616.0 + double(lo);
    const double v = m / std::pow(10.0, scale);
    return negative ? -v : v;
}

std::optional<int64_t> TAdtgDecimal::Units() const
{
    if (hi || lo > uint64_t(INT64_MAX))
        return std::nullopt;
    return negative ? -int64_t(lo) : int64_t(lo);
}

int TAdtgRecordset::ColumnIndex(const QString& name) const
{
    for (size_t i = 0; i < columns.size(); ++i)
        if (columns[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

const TAdtgValue& TAdtgRecordset::Value(size_t row, const QString& column) const
{
    static const TAdtgValue null;
    const int c = ColumnIndex(column);
    if (c < 0 || row >= rows.size() || size_t(c) >= rows[row].size())
        return null;
    return rows[row][size_t(c)];
}

TAdtgColumn AdtgColumn(const QString& name, TAdtgKind kind, uint32_t size)
{
    TAdtgColumn c;
    c.name = name;
    c.kind = kind;
    c.size = size;
    if (kind == TAdtgKind::AutoNumber) {
        c.nullable = false;
        c.key = true;
    }
    return c;
}

TAdtgColumn AdtgDecimalColumn(const QString& name, uint32_t precision, int32_t scale)
{
    TAdtgColumn c = AdtgColumn(name, TAdtgKind::Decimal);
    c.precision = precision;
    c.scale = scale;
    return c;
}

QByteArray WriteAdtg(const TAdtgRecordset& recordset)
{
    QByteArray out;
    QString error;
    return WriteAdtg(recordset, out, error) ? out : QByteArray();
}

bool WriteAdtg(const TAdtgRecordset& recordset, QByteArray& out, QString& error)
{
    try {
        out = Write(recordset);
        return true;
    } catch (const WriteError& e) {
        error = "Cannot write the recordset: " + e.text;
        return false;
    }
}

bool ReadAdtg(const QByteArray& data, TAdtgRecordset& recordset, QString& error)
{
    try {
        recordset = Read(data);
        return true;
    } catch (const ReadError& e) {
        error = "Invalid recordset data: " + e.text;
        return false;
    }
}

} // namespace pm
