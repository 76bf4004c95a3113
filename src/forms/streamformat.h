#pragma once
// The component stream of form definition files, as a tree of records that
// can be read from and written to bytes exactly, and converted to and from
// the textual component format.
//
// A stream is the signature "TPF0" and one component record. A record is an
// optional prefix byte F0..FF (flags, maybe a child position), the class
// name, the component name, the property entries ended by a 00 byte and the
// child records ended by a 00 byte. Every value carries its type byte (0..21).
//
// Reading is bounded: lengths are checked against what remains before
// anything is allocated, records and values nest at most kMaxDepth deep, and
// a truncated or malformed stream ends in EStreamError, never in a crash.

#include "forms/dferror.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <stdexcept>

namespace pm {

// Value type bytes of the stream.
enum TValueType : quint8 {
    vaNull = 0, vaList = 1, vaInt8 = 2, vaInt16 = 3, vaInt32 = 4, vaExtended = 5,
    vaString = 6, vaIdent = 7, vaFalse = 8, vaTrue = 9, vaBinary = 10, vaSet = 11,
    vaLString = 12, vaNil = 13, vaCollection = 14, vaSingle = 15, vaCurrency = 16,
    vaDate = 17, vaWString = 18, vaInt64 = 19, vaUTF8String = 20, vaDouble = 21
};

// Records flags of the optional prefix.
enum TFilerFlag : quint8 { ffInherited = 1, ffChildPos = 2, ffInline = 4 };

// Errors of reading or converting a stream; what() is the message.
class EStreamError : public EDFError {
public:
    using EDFError::EDFError;
};

struct TStreamProperty;
struct TCollectionItem;

// One value with its type byte.
struct TStreamValue {
    quint8 Type = vaNull;
    qint64 Int = 0;               // vaInt8/16/32/64, vaCurrency (count of 1/10000)
    QByteArray Bytes;             // raw bytes: strings, identifiers, binary, floats
    QList<QByteArray> Names;      // vaSet members
    QList<TStreamValue> Items;    // vaList
    QList<TCollectionItem> Collection;

    static TStreamValue Integer(qint64 value);          // smallest of 2, 3, 4 (19 beyond 32 bits)
    static TStreamValue Ident(const QByteArray& name);
    static TStreamValue Boolean(bool value);
    // Short, long or UTF-8 string by content: 6 when every character is
    // below 80 hexadecimal and there are at most 255, 12 when longer, 20 when
    // any character is 80 hexadecimal or above.
    static TStreamValue String(const QString& text);
    static TStreamValue Binary(const QByteArray& data);
    static TStreamValue Set(const QList<QByteArray>& names);

    bool IsInteger() const { return Type == vaInt8 || Type == vaInt16 || Type == vaInt32; }
    bool IsString() const;        // 6, 12, 18, 20
    // The text of a string value in the single-byte code page (Windows-1252);
    // wide and UTF-8 strings lose what the code page cannot hold.
    QString StringText() const;
    // Floats as long double (extended, single, double, date).
    bool IsFloat() const;
    long double FloatValue() const;
};

struct TStreamProperty {
    QByteArray Name;
    TStreamValue Value;
};

struct TCollectionItem {
    bool HasIndex = false;
    TStreamValue Index;           // an integer value
    QList<TStreamProperty> Props;
};

struct TStreamRecord {
    bool HasPrefix = false;
    quint8 Flags = 0;             // low four bits of the prefix
    TStreamValue Position;        // when Flags has ffChildPos
    QByteArray ClassName;
    QByteArray Name;
    QList<TStreamProperty> Props;
    QList<TStreamRecord> Children;
};

// Nesting limit of records and of values inside values.
constexpr int kMaxDepth = 64;

// Reads "TPF0" and one record from data starting at offset; on return
// offset is just after the record. Raises EStreamError: "Invalid stream
// format" for a wrong signature or an unknown value type, "Stream read
// error" when the data ends early.
TStreamRecord ReadStream(const QByteArray& data, qsizetype& offset);
TStreamRecord ReadStream(const QByteArray& data);
// "TPF0" and the record, byte for byte as read.
QByteArray WriteStream(const TStreamRecord& root);
void WriteRecord(QByteArray& out, const TStreamRecord& record);
void WriteValue(QByteArray& out, const TStreamValue& value);
void WriteShortString(QByteArray& out, const QByteArray& text);

// The textual component format: "object Name: TClass" ... "end", one
// "Name = value" line per property, strings in single quotes with #nnn for
// characters that cannot be typed and "+" joining long strings, identifiers
// bare, sets in [ ], lists in ( ), binary in { } as hexadecimal, collections
// in < >. Numbers: integers bare; floats with a point or exponent, suffixed
// S (single), C (currency), D (date), F (double), none for extended.
QString RecordToText(const TStreamRecord& root);
QString StreamToText(const QByteArray& stream);       // raises EStreamError
TStreamRecord TextToRecord(const QString& text);      // raises EStreamError "Line n: ..."
QByteArray TextToStream(const QString& text);

// A readable listing: offsets, value type names and values.
QString DumpStream(const QByteArray& stream);

// 80-bit extended floats.
long double ExtendedToLongDouble(const QByteArray& tenBytes);
QByteArray LongDoubleToExtended(long double value);

// Colour and character-set names (case-insensitive lookup).
bool ColorToIdent(qint32 color, QString& name);
bool IdentToColor(const QString& name, qint32& color);
bool CharsetToIdent(qint32 charset, QString& name);
bool IdentToCharset(const QString& name, qint32& charset);

} // namespace pm
