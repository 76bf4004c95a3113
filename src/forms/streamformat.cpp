#include "forms/streamformat.h"

#include "components/win1252.h"

#include <QtEndian>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace pm {

namespace {
// Number texts of the text form never follow the process locale.
locale_t CLocale()
{
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return c;
}

struct TCLocaleScope {
    locale_t previous;
    TCLocaleScope() : previous(uselocale(CLocale())) {}
    ~TCLocaleScope() { uselocale(previous); }
};

long double CStrToLD(const char* text) { return strtold_l(text, nullptr, CLocale()); }
double CStrToD(const char* text) { return strtod_l(text, nullptr, CLocale()); }
} // namespace


// ---------------------------------------------------------------------------
// Values

TStreamValue TStreamValue::Integer(qint64 value)
{
    TStreamValue v;
    v.Int = value;
    if (value >= -128 && value <= 127)
        v.Type = vaInt8;
    else if (value >= -32768 && value <= 32767)
        v.Type = vaInt16;
    else if (value >= INT32_MIN && value <= INT32_MAX)
        v.Type = vaInt32;
    else
        v.Type = vaInt64;
    return v;
}

TStreamValue TStreamValue::Ident(const QByteArray& name)
{
    TStreamValue v;
    v.Type = vaIdent;
    v.Bytes = name;
    return v;
}

TStreamValue TStreamValue::Boolean(bool value)
{
    TStreamValue v;
    v.Type = value ? vaTrue : vaFalse;
    return v;
}

TStreamValue TStreamValue::String(const QString& text)
{
    TStreamValue v;
    bool ascii = true;
    for (QChar c : text)
        if (c.unicode() >= 0x80) { ascii = false; break; }
    if (!ascii) {
        v.Type = vaUTF8String;
        v.Bytes = text.toUtf8();
    } else {
        v.Type = text.size() <= 255 ? vaString : vaLString;
        v.Bytes = text.toLatin1();
    }
    return v;
}

TStreamValue TStreamValue::Binary(const QByteArray& data)
{
    TStreamValue v;
    v.Type = vaBinary;
    v.Bytes = data;
    return v;
}

TStreamValue TStreamValue::Set(const QList<QByteArray>& names)
{
    TStreamValue v;
    v.Type = vaSet;
    v.Names = names;
    return v;
}

bool TStreamValue::IsString() const
{
    return Type == vaString || Type == vaLString || Type == vaWString || Type == vaUTF8String;
}

QString TStreamValue::StringText() const
{
    switch (Type) {
    case vaString:
    case vaLString:
        return FromWin1252(Bytes);
    case vaWString: {
        QString s;
        s.resize(Bytes.size() / 2);
        for (qsizetype i = 0; i < s.size(); ++i)
            s[i] = QChar(qFromLittleEndian<quint16>(Bytes.constData() + 2 * i));
        return FromWin1252(ToWin1252(s));
    }
    case vaUTF8String:
        return FromWin1252(ToWin1252(QString::fromUtf8(Bytes)));
    default:
        return QString();
    }
}

bool TStreamValue::IsFloat() const
{
    return Type == vaExtended || Type == vaSingle || Type == vaDouble || Type == vaDate;
}

long double TStreamValue::FloatValue() const
{
    switch (Type) {
    case vaExtended:
        return ExtendedToLongDouble(Bytes);
    case vaSingle: {
        if (Bytes.size() != 4)
            return 0;
        float f;
        quint32 bits = qFromLittleEndian<quint32>(Bytes.constData());
        std::memcpy(&f, &bits, 4);
        return f;
    }
    case vaDouble:
    case vaDate: {
        if (Bytes.size() != 8)
            return 0;
        double d;
        quint64 bits = qFromLittleEndian<quint64>(Bytes.constData());
        std::memcpy(&d, &bits, 8);
        return d;
    }
    default:
        return 0;
    }
}

long double ExtendedToLongDouble(const QByteArray& b)
{
    if (b.size() != 10)
        return 0;
    unsigned char raw[10];
    std::memcpy(raw, b.constData(), sizeof raw);
    quint64 mant = qFromLittleEndian<quint64>(raw);
    quint16 se = qFromLittleEndian<quint16>(raw + 8);
    bool neg = se & 0x8000;
    int exp = se & 0x7FFF;
    long double v;
    if (exp == 0x7FFF) {
        if ((mant << 1) == 0)
            v = HUGE_VALL;
        else
            v = std::nanl("");
    } else if (exp == 0) {
        v = std::ldexp((long double)mant, -16382 - 63);
    } else {
        v = std::ldexp((long double)mant, exp - 16383 - 63);
    }
    return neg ? -v : v;
}

QByteArray LongDoubleToExtended(long double value)
{
    quint64 mant = 0;
    quint16 se = 0;
    if (std::signbit(value))
        se = 0x8000;
    long double a = std::fabs(value);
    if (std::isnan(value)) {
        se |= 0x7FFF;
        mant = 0xC000000000000000ULL;
    } else if (std::isinf(value)) {
        se |= 0x7FFF;
        mant = 0x8000000000000000ULL;
    } else if (a != 0) {
        int e;
        long double m = std::frexp(a, &e);   // a = m * 2^e, 0.5 <= m < 1
        int biased = e - 1 + 16383;
        if (biased <= 0) {
            // denormal in the 80-bit format
            mant = (quint64)std::ldexp(a, 16382 + 63);
            biased = 0;
        } else if (biased >= 0x7FFF) {
            biased = 0x7FFF;
            mant = 0x8000000000000000ULL;
        } else {
            mant = (quint64)std::ldexp(m, 64);
        }
        se |= quint16(biased);
    }
    QByteArray out(10, '\0');
    qToLittleEndian<quint64>(mant, out.data());
    qToLittleEndian<quint16>(se, out.data() + 8);
    return out;
}

// ---------------------------------------------------------------------------
// Binary reading

namespace {

class TReader {
public:
    TReader(const QByteArray& data, qsizetype offset) : d_(data), pos_(offset) {}

    qsizetype Pos() const { return pos_; }
    qsizetype Remaining() const { return d_.size() - pos_; }

    void Need(qsizetype n)
    {
        if (n < 0 || n > Remaining())
            throw EStreamError("Stream read error");
    }
    quint8 Byte()
    {
        Need(1);
        return quint8(d_[pos_++]);
    }
    quint8 PeekByte()
    {
        Need(1);
        return quint8(d_[pos_]);
    }
    QByteArray Bytes(qsizetype n)
    {
        Need(n);
        QByteArray b = d_.mid(pos_, n);
        pos_ += n;
        return b;
    }
    qint64 Int(int size)
    {
        Need(size);
        const char* p = d_.constData() + pos_;
        pos_ += size;
        switch (size) {
        case 1: return qint8(p[0]);
        case 2: return qFromLittleEndian<qint16>(p);
        case 4: return qFromLittleEndian<qint32>(p);
        default: return qFromLittleEndian<qint64>(p);
        }
    }
    QByteArray ShortString() { return Bytes(Byte()); }
    qsizetype Length()
    {
        qint64 n = qint64(quint32(Int(4)));
        Need(n);
        return qsizetype(n);
    }

    TStreamValue Value(int depth)
    {
        if (depth > kMaxDepth)
            throw EStreamError("Stream nesting too deep");
        TStreamValue v;
        v.Type = Byte();
        switch (v.Type) {
        case vaNull: case vaFalse: case vaTrue: case vaNil:
            break;
        case vaList:
            while (PeekByte() != vaNull)
                v.Items.append(Value(depth + 1));
            Byte();
            break;
        case vaInt8: v.Int = Int(1); break;
        case vaInt16: v.Int = Int(2); break;
        case vaInt32: v.Int = Int(4); break;
        case vaInt64: case vaCurrency: v.Int = Int(8); break;
        case vaExtended: v.Bytes = Bytes(10); break;
        case vaSingle: v.Bytes = Bytes(4); break;
        case vaDate: case vaDouble: v.Bytes = Bytes(8); break;
        case vaString: case vaIdent: v.Bytes = ShortString(); break;
        case vaBinary: case vaLString: case vaUTF8String: v.Bytes = Bytes(Length()); break;
        case vaWString: {
            qint64 count = qint64(quint32(Int(4)));
            if (count > Remaining() / 2)
                throw EStreamError("Stream read error");
            v.Bytes = Bytes(qsizetype(count) * 2);
            break;
        }
        case vaSet:
            for (;;) {
                QByteArray n = ShortString();
                if (n.isEmpty())
                    break;
                v.Names.append(n);
            }
            break;
        case vaCollection:
            while (PeekByte() != vaNull) {
                TCollectionItem item;
                quint8 t = PeekByte();
                if (t == vaInt8 || t == vaInt16 || t == vaInt32) {
                    item.HasIndex = true;
                    item.Index = Value(depth + 1);
                }
                if (Byte() != vaList)
                    throw EStreamError("Invalid stream format");
                item.Props = Props(depth + 1);
                v.Collection.append(item);
            }
            Byte();
            break;
        default:
            throw EStreamError("Invalid stream format");
        }
        return v;
    }

    QList<TStreamProperty> Props(int depth)
    {
        QList<TStreamProperty> props;
        for (;;) {
            QByteArray name = ShortString();
            if (name.isEmpty())
                break;
            TStreamProperty p;
            p.Name = name;
            p.Value = Value(depth + 1);
            props.append(std::move(p));
        }
        return props;
    }

    TStreamRecord Record(int depth)
    {
        if (depth > kMaxDepth)
            throw EStreamError("Stream nesting too deep");
        TStreamRecord r;
        quint8 b = PeekByte();
        if ((b & 0xF0) == 0xF0) {
            Byte();
            r.HasPrefix = true;
            r.Flags = b & 0x0F;
            if (r.Flags & ffChildPos) {
                r.Position = Value(depth + 1);
                if (!r.Position.IsInteger())
                    throw EStreamError("Invalid stream format");
            }
        }
        r.ClassName = ShortString();
        r.Name = ShortString();
        r.Props = Props(depth);
        while (PeekByte() != 0)
            r.Children.append(Record(depth + 1));
        Byte();
        return r;
    }

private:
    const QByteArray& d_;
    qsizetype pos_;
};

} // namespace

TStreamRecord ReadStream(const QByteArray& data, qsizetype& offset)
{
    if (offset < 0 || data.size() - offset < 4 || data.mid(offset, 4) != "TPF0")
        throw EStreamError("Invalid stream format");
    TReader r(data, offset + 4);
    TStreamRecord rec = r.Record(0);
    offset = r.Pos();
    return rec;
}

TStreamRecord ReadStream(const QByteArray& data)
{
    qsizetype offset = 0;
    return ReadStream(data, offset);
}

// ---------------------------------------------------------------------------
// Binary writing

namespace {
void PutInt(QByteArray& out, qint64 v, int size)
{
    char b[8];
    switch (size) {
    case 1: b[0] = char(v); break;
    case 2: qToLittleEndian<qint16>(qint16(v), b); break;
    case 4: qToLittleEndian<qint32>(qint32(v), b); break;
    default: qToLittleEndian<qint64>(v, b); break;
    }
    out.append(b, size);
}

void WriteProps(QByteArray& out, const QList<TStreamProperty>& props)
{
    for (const TStreamProperty& p : props) {
        WriteShortString(out, p.Name);
        WriteValue(out, p.Value);
    }
    out.append('\0');
}
} // namespace

void WriteShortString(QByteArray& out, const QByteArray& text)
{
    QByteArray t = text.left(255);
    out.append(char(quint8(t.size())));
    out.append(t);
}

void WriteValue(QByteArray& out, const TStreamValue& v)
{
    out.append(char(v.Type));
    switch (v.Type) {
    case vaList:
        for (const TStreamValue& item : v.Items)
            WriteValue(out, item);
        out.append('\0');
        break;
    case vaInt8: PutInt(out, v.Int, 1); break;
    case vaInt16: PutInt(out, v.Int, 2); break;
    case vaInt32: PutInt(out, v.Int, 4); break;
    case vaInt64: case vaCurrency: PutInt(out, v.Int, 8); break;
    case vaExtended: out.append(v.Bytes.leftJustified(10, '\0', true)); break;
    case vaSingle: out.append(v.Bytes.leftJustified(4, '\0', true)); break;
    case vaDate: case vaDouble: out.append(v.Bytes.leftJustified(8, '\0', true)); break;
    case vaString: case vaIdent: WriteShortString(out, v.Bytes); break;
    case vaBinary: case vaLString: case vaUTF8String:
        PutInt(out, v.Bytes.size(), 4);
        out.append(v.Bytes);
        break;
    case vaWString:
        PutInt(out, v.Bytes.size() / 2, 4);
        out.append(v.Bytes.left(v.Bytes.size() / 2 * 2));
        break;
    case vaSet:
        for (const QByteArray& n : v.Names)
            WriteShortString(out, n);
        out.append('\0');
        break;
    case vaCollection:
        for (const TCollectionItem& item : v.Collection) {
            if (item.HasIndex)
                WriteValue(out, item.Index);
            out.append(char(vaList));
            WriteProps(out, item.Props);
        }
        out.append('\0');
        break;
    default:
        break;
    }
}

void WriteRecord(QByteArray& out, const TStreamRecord& r)
{
    if (r.HasPrefix) {
        out.append(char(0xF0 | (r.Flags & 0x0F)));
        if (r.Flags & ffChildPos)
            WriteValue(out, r.Position);
    }
    WriteShortString(out, r.ClassName);
    WriteShortString(out, r.Name);
    WriteProps(out, r.Props);
    for (const TStreamRecord& c : r.Children)
        WriteRecord(out, c);
    out.append('\0');
}

QByteArray WriteStream(const TStreamRecord& root)
{
    QByteArray out("TPF0");
    WriteRecord(out, root);
    return out;
}

// ---------------------------------------------------------------------------
// Colour and character-set names

namespace {
struct TIdentMapEntry {
    qint32 Value;
    const char* Name;
};

const TIdentMapEntry kColors[] = {
    {0x000000, "clBlack"}, {0x000080, "clMaroon"}, {0x008000, "clGreen"}, {0x008080, "clOlive"},
    {0x800000, "clNavy"}, {0x800080, "clPurple"}, {0x808000, "clTeal"}, {0x808080, "clGray"},
    {0xC0C0C0, "clSilver"}, {0x0000FF, "clRed"}, {0x00FF00, "clLime"}, {0x00FFFF, "clYellow"},
    {0xFF0000, "clBlue"}, {0xFF00FF, "clFuchsia"}, {0xFFFF00, "clAqua"}, {0xFFFFFF, "clWhite"},
    {0xC0DCC0, "clMoneyGreen"}, {0xF0CAA6, "clSkyBlue"}, {0xF0FBFF, "clCream"}, {0xA4A0A0, "clMedGray"},
    {qint32(0xFF00000A), "clActiveBorder"}, {qint32(0xFF000002), "clActiveCaption"},
    {qint32(0xFF00000C), "clAppWorkSpace"}, {qint32(0xFF000001), "clBackground"},
    {qint32(0xFF00000F), "clBtnFace"}, {qint32(0xFF000014), "clBtnHighlight"},
    {qint32(0xFF000010), "clBtnShadow"}, {qint32(0xFF000012), "clBtnText"},
    {qint32(0xFF000009), "clCaptionText"}, {0x20000000, "clDefault"},
    {qint32(0xFF00001B), "clGradientActiveCaption"}, {qint32(0xFF00001C), "clGradientInactiveCaption"},
    {qint32(0xFF000011), "clGrayText"}, {qint32(0xFF00000D), "clHighlight"},
    {qint32(0xFF00000E), "clHighlightText"}, {qint32(0xFF00001A), "clHotLight"},
    {qint32(0xFF00000B), "clInactiveBorder"}, {qint32(0xFF000003), "clInactiveCaption"},
    {qint32(0xFF000013), "clInactiveCaptionText"}, {qint32(0xFF000018), "clInfoBk"},
    {qint32(0xFF000017), "clInfoText"}, {qint32(0xFF000004), "clMenu"},
    {qint32(0xFF00001E), "clMenuBar"}, {qint32(0xFF00001D), "clMenuHighlight"},
    {qint32(0xFF000007), "clMenuText"}, {0x1FFFFFFF, "clNone"},
    {qint32(0xFF000000), "clScrollBar"}, {qint32(0xFF000015), "cl3DDkShadow"},
    {qint32(0xFF000016), "cl3DLight"}, {qint32(0xFF000005), "clWindow"},
    {qint32(0xFF000006), "clWindowFrame"}, {qint32(0xFF000008), "clWindowText"},
};

const TIdentMapEntry kCharsets[] = {
    {0, "ANSI_CHARSET"}, {1, "DEFAULT_CHARSET"}, {2, "SYMBOL_CHARSET"}, {77, "MAC_CHARSET"},
    {128, "SHIFTJIS_CHARSET"}, {129, "HANGEUL_CHARSET"}, {130, "JOHAB_CHARSET"},
    {134, "GB2312_CHARSET"}, {136, "CHINESEBIG5_CHARSET"}, {161, "GREEK_CHARSET"},
    {162, "TURKISH_CHARSET"}, {177, "HEBREW_CHARSET"}, {178, "ARABIC_CHARSET"},
    {186, "BALTIC_CHARSET"}, {204, "RUSSIAN_CHARSET"}, {222, "THAI_CHARSET"},
    {238, "EASTEUROPE_CHARSET"}, {255, "OEM_CHARSET"},
};

template <size_t N>
bool ToIdent(const TIdentMapEntry (&map)[N], qint32 value, QString& name)
{
    for (const TIdentMapEntry& e : map)
        if (e.Value == value) {
            name = QString::fromLatin1(e.Name);
            return true;
        }
    return false;
}

template <size_t N>
bool FromIdent(const TIdentMapEntry (&map)[N], const QString& name, qint32& value)
{
    for (const TIdentMapEntry& e : map)
        if (name.compare(QLatin1String(e.Name), Qt::CaseInsensitive) == 0) {
            value = e.Value;
            return true;
        }
    return false;
}
} // namespace

bool ColorToIdent(qint32 color, QString& name) { return ToIdent(kColors, color, name); }
bool IdentToColor(const QString& name, qint32& color) { return FromIdent(kColors, name, color); }
bool CharsetToIdent(qint32 charset, QString& name) { return ToIdent(kCharsets, charset, name); }
bool IdentToCharset(const QString& name, qint32& charset) { return FromIdent(kCharsets, name, charset); }

// ---------------------------------------------------------------------------
// Text form: writing

namespace {

bool IsIdentStart(QChar c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(QChar c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }

// Identifiers, class names and (dotted) property names must be typeable.
QString CheckedIdent(const QByteArray& raw, bool dotted, const char* what)
{
    QString s = QString::fromLatin1(raw);
    bool ok = !s.isEmpty() && IsIdentStart(s[0]);
    for (qsizetype i = 0; ok && i < s.size(); ++i)
        ok = IsIdentChar(s[i]) || (dotted && s[i] == '.' && i + 1 < s.size() && s[i - 1] != '.');
    if (!ok)
        throw EStreamError(QString("The %1 '%2' cannot be written as text").arg(what, QString::fromLatin1(raw.toHex())));
    return s;
}

// Shortest decimal that reads back to the same value: 9 digits at most for
// single floats, 17 for doubles, 21 for extended floats.
QString FloatText(long double v, int maxDigits)
{
    if (std::isnan(v))
        return "NAN";
    if (std::isinf(v))
        return v < 0 ? "-INF" : "INF";
    char buf[64];
    TCLocaleScope scope;
    for (int prec = 1; prec <= maxDigits; ++prec) {
        std::snprintf(buf, sizeof buf, "%.*Lg", prec, v);
        long double back = CStrToLD(buf);
        if (maxDigits == 9 ? float(back) == float(v) : maxDigits == 17 ? CStrToD(buf) == double(v) : back == v)
            break;
    }
    QString s = QString::fromLatin1(buf);
    s.replace('e', 'E');
    if (!s.contains('.')) {
        qsizetype e = s.indexOf('E');
        if (e < 0)
            s += ".0";
        else
            s.insert(e, ".0");
    }
    return s;
}

QString CurrencyText(qint64 units)
{
    bool neg = units < 0;
    quint64 a = neg ? quint64(0) - quint64(units) : quint64(units);
    QString s = QString::number(a / 10000) + "." + QString::number(a % 10000).rightJustified(4, '0');
    return (neg ? "-" : "") + s;
}

class TTextWriter {
public:
    QString out;

    void Line(int indent, const QString& text)
    {
        out += QString(indent * 2, ' ');
        out += text;
        out += '\n';
    }

    // A string as quoted runs and #nnn codes, split into pieces of at most
    // 64 characters joined by " +" at line ends.
    QStringList StringPieces(const QString& s)
    {
        QStringList pieces;
        if (s.isEmpty()) {
            pieces << "''";
            return pieces;
        }
        const qsizetype chunk = 64;
        for (qsizetype start = 0; start < s.size(); start += chunk) {
            QString piece;
            bool quoted = false;
            for (qsizetype i = start; i < qMin(s.size(), start + chunk); ++i) {
                char32_t c = s[i].unicode();
                // keep surrogate pairs together as one code point
                if (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
                    c = QChar::surrogateToUcs4(s[i], s[i + 1]);
                    ++i;
                }
                if (c >= 32 && c < 127) {
                    if (!quoted) { piece += '\''; quoted = true; }
                    if (c == '\'')
                        piece += "''";
                    else
                        piece += QChar(char16_t(c));
                } else {
                    if (quoted) { piece += '\''; quoted = false; }
                    piece += '#' + QString::number(uint(c));
                }
            }
            if (quoted)
                piece += '\'';
            pieces << piece;
            if (start + chunk >= s.size())
                break;
        }
        return pieces;
    }

    // A value written after "Name = " at the given indent; may span lines.
    void Value(int indent, const QString& prefix, const TStreamValue& v, const QString& suffix = QString())
    {
        switch (v.Type) {
        case vaNull:
            throw EStreamError("A null value cannot be written as text");
        case vaList: {
            if (v.Items.isEmpty()) {
                Line(indent, prefix + "()" + suffix);
                break;
            }
            Line(indent, prefix + "(");
            for (qsizetype i = 0; i < v.Items.size(); ++i)
                Value(indent + 1, QString(), v.Items[i], i + 1 == v.Items.size() ? ")" + suffix : QString());
            break;
        }
        case vaInt8: case vaInt16: case vaInt32: case vaInt64:
            Line(indent, prefix + QString::number(v.Int) + suffix);
            break;
        case vaExtended:
            Line(indent, prefix + FloatText(v.FloatValue(), 21) + suffix);
            break;
        case vaSingle:
            Line(indent, prefix + FloatText(v.FloatValue(), 9) + "S" + suffix);
            break;
        case vaDouble:
            Line(indent, prefix + FloatText(v.FloatValue(), 17) + "F" + suffix);
            break;
        case vaDate:
            Line(indent, prefix + FloatText(v.FloatValue(), 17) + "D" + suffix);
            break;
        case vaCurrency:
            Line(indent, prefix + CurrencyText(v.Int) + "C" + suffix);
            break;
        case vaString: case vaLString: case vaWString: case vaUTF8String: {
            QString text;
            if (v.Type == vaWString) {
                text.resize(v.Bytes.size() / 2);
                for (qsizetype i = 0; i < text.size(); ++i)
                    text[i] = QChar(qFromLittleEndian<quint16>(v.Bytes.constData() + 2 * i));
            } else if (v.Type == vaUTF8String) {
                text = QString::fromUtf8(v.Bytes);
            } else {
                text = FromWin1252(v.Bytes);
            }
            QStringList pieces = StringPieces(text);
            if (pieces.size() == 1) {
                Line(indent, prefix + pieces[0] + suffix);
            } else {
                Line(indent, prefix);
                for (qsizetype i = 0; i < pieces.size(); ++i)
                    Line(indent + 1, pieces[i] + (i + 1 < pieces.size() ? " +" : suffix));
            }
            break;
        }
        case vaIdent:
            Line(indent, prefix + CheckedIdent(v.Bytes, false, "identifier") + suffix);
            break;
        case vaFalse: Line(indent, prefix + "False" + suffix); break;
        case vaTrue: Line(indent, prefix + "True" + suffix); break;
        case vaNil: Line(indent, prefix + "nil" + suffix); break;
        case vaBinary: {
            if (v.Bytes.isEmpty()) {
                Line(indent, prefix + "{}" + suffix);
                break;
            }
            Line(indent, prefix + "{");
            QByteArray hex = v.Bytes.toHex().toUpper();
            for (qsizetype i = 0; i < hex.size(); i += 64) {
                bool last = i + 64 >= hex.size();
                Line(indent + 1, QString::fromLatin1(hex.mid(i, 64)) + (last ? "}" + suffix : QString()));
            }
            break;
        }
        case vaSet: {
            QStringList names;
            for (const QByteArray& n : v.Names)
                names << CheckedIdent(n, false, "set member");
            Line(indent, prefix + "[" + names.join(", ") + "]" + suffix);
            break;
        }
        case vaCollection: {
            if (v.Collection.isEmpty()) {
                Line(indent, prefix + "<>" + suffix);
                break;
            }
            Line(indent, prefix + "<");
            for (qsizetype i = 0; i < v.Collection.size(); ++i) {
                const TCollectionItem& item = v.Collection[i];
                if (item.HasIndex)
                    Line(indent + 1, "item [" + QString::number(item.Index.Int) + "]");
                else
                    Line(indent + 1, "item");
                Props(indent + 2, item.Props);
                Line(indent + 1, "end" + (i + 1 == v.Collection.size() ? ">" + suffix : QString()));
            }
            break;
        }
        default:
            throw EStreamError("Invalid stream format");
        }
    }

    void Props(int indent, const QList<TStreamProperty>& props)
    {
        for (const TStreamProperty& p : props)
            Value(indent, CheckedIdent(p.Name, true, "property name") + " = ", p.Value);
    }

    void Record(int indent, const TStreamRecord& r)
    {
        QString head;
        if (r.Flags & ffInline)
            head = "inline ";
        else if (r.Flags & ffInherited)
            head = "inherited ";
        else
            head = "object ";
        if (!r.Name.isEmpty())
            head += CheckedIdent(r.Name, false, "component name") + ": ";
        head += CheckedIdent(r.ClassName, false, "class name");
        if (r.Flags & ffChildPos)
            head += " [" + QString::number(r.Position.Int) + "]";
        Line(indent, head);
        Props(indent + 1, r.Props);
        for (const TStreamRecord& c : r.Children)
            Record(indent + 1, c);
        Line(indent, "end");
    }
};

} // namespace

QString RecordToText(const TStreamRecord& root)
{
    TTextWriter w;
    w.Record(0, root);
    return w.out;
}

QString StreamToText(const QByteArray& stream)
{
    return RecordToText(ReadStream(stream));
}

// ---------------------------------------------------------------------------
// Text form: reading

namespace {

class TTextParser {
public:
    explicit TTextParser(const QString& text) : s_(text) {}

    TStreamRecord Root()
    {
        Skip();
        TStreamRecord r = Record(0);
        Skip();
        if (pos_ < s_.size())
            Fail("end of text expected");
        return r;
    }

private:
    const QString& s_;
    qsizetype pos_ = 0;

    [[noreturn]] void Fail(const QString& what)
    {
        int line = 1;
        for (qsizetype i = 0; i < pos_ && i < s_.size(); ++i)
            if (s_[i] == '\n')
                ++line;
        throw EStreamError(QString("Line %1: %2").arg(line).arg(what));
    }

    void Skip()
    {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\r' || s_[pos_] == '\n'))
            ++pos_;
    }
    bool AtEnd() { Skip(); return pos_ >= s_.size(); }
    QChar Peek() { Skip(); return pos_ < s_.size() ? s_[pos_] : QChar(); }
    void Expect(QChar c)
    {
        if (Peek() != c)
            Fail(QString("'%1' expected").arg(c));
        ++pos_;
    }

    QString Ident(bool dotted)
    {
        Skip();
        qsizetype start = pos_;
        if (pos_ >= s_.size() || !IsIdentStart(s_[pos_]))
            Fail("identifier expected");
        while (pos_ < s_.size() && (IsIdentChar(s_[pos_]) || (dotted && s_[pos_] == '.')))
            ++pos_;
        return s_.mid(start, pos_ - start);
    }

    // Looks at the next word without consuming it.
    QString PeekWord()
    {
        Skip();
        qsizetype p = pos_;
        while (p < s_.size() && IsIdentChar(s_[p]))
            ++p;
        return s_.mid(pos_, p - pos_);
    }

    qint64 IntegerToken()
    {
        Skip();
        qsizetype start = pos_;
        if (pos_ < s_.size() && (s_[pos_] == '-' || s_[pos_] == '+'))
            ++pos_;
        while (pos_ < s_.size() && s_[pos_].isDigit())
            ++pos_;
        bool ok = false;
        qint64 v = s_.mid(start, pos_ - start).toLongLong(&ok);
        if (!ok)
            Fail("integer expected");
        return v;
    }

    TStreamRecord Record(int depth)
    {
        if (depth > kMaxDepth)
            Fail("nesting too deep");
        TStreamRecord r;
        QString kw = Ident(false);
        if (kw.compare("inherited", Qt::CaseInsensitive) == 0) {
            r.HasPrefix = true;
            r.Flags = ffInherited;
        } else if (kw.compare("inline", Qt::CaseInsensitive) == 0) {
            r.HasPrefix = true;
            r.Flags = ffInline;
        } else if (kw.compare("object", Qt::CaseInsensitive) != 0) {
            Fail("'object' expected");
        }
        QString first = Ident(false);
        if (Peek() == ':') {
            ++pos_;
            r.Name = first.toLatin1();
            r.ClassName = Ident(false).toLatin1();
        } else {
            r.ClassName = first.toLatin1();
        }
        if (Peek() == '[') {
            ++pos_;
            r.HasPrefix = true;
            r.Flags |= ffChildPos;
            r.Position = TStreamValue::Integer(IntegerToken());
            if (r.Position.Type == vaInt64)
                Fail("child position out of range");
            Expect(']');
        }
        for (;;) {
            if (AtEnd())
                Fail("'end' expected");
            QString w = PeekWord();
            if (w.compare("end", Qt::CaseInsensitive) == 0) {
                pos_ += 3;
                break;
            }
            if (w.compare("object", Qt::CaseInsensitive) == 0 || w.compare("inherited", Qt::CaseInsensitive) == 0
                || w.compare("inline", Qt::CaseInsensitive) == 0) {
                r.Children.append(Record(depth + 1));
                continue;
            }
            if (!r.Children.isEmpty())
                Fail("'end' expected");
            r.Props.append(Property(depth));
        }
        return r;
    }

    TStreamProperty Property(int depth)
    {
        TStreamProperty p;
        p.Name = Ident(true).toLatin1();
        if (p.Name.size() > 255)
            Fail("name too long");
        Expect('=');
        p.Value = Value(depth + 1);
        return p;
    }

    void AppendCodePoint(QString& out, uint code)
    {
        if (code > 0x10FFFF)
            Fail("character code out of range");
        char32_t c = code;
        out += QString::fromUcs4(&c, 1);
    }

    QString StringLiteral()
    {
        QString out;
        for (;;) {
            // one piece: quoted runs and #nnn codes without blanks between
            Skip();
            bool any = false;
            while (pos_ < s_.size()) {
                if (s_[pos_] == '\'') {
                    ++pos_;
                    for (;;) {
                        if (pos_ >= s_.size() || s_[pos_] == '\n')
                            Fail("unterminated string");
                        if (s_[pos_] == '\'') {
                            if (pos_ + 1 < s_.size() && s_[pos_ + 1] == '\'') {
                                out += '\'';
                                pos_ += 2;
                                continue;
                            }
                            ++pos_;
                            break;
                        }
                        out += s_[pos_++];
                    }
                    any = true;
                } else if (s_[pos_] == '#') {
                    ++pos_;
                    qsizetype start = pos_;
                    while (pos_ < s_.size() && s_[pos_].isDigit() && pos_ - start < 8)
                        ++pos_;
                    bool ok = false;
                    uint code = s_.mid(start, pos_ - start).toUInt(&ok);
                    if (!ok)
                        Fail("character code expected");
                    AppendCodePoint(out, code);
                    any = true;
                } else {
                    break;
                }
            }
            if (!any)
                Fail("string expected");
            if (Peek() == '+') {
                ++pos_;
                continue;
            }
            return out;
        }
    }

    TStreamValue Number()
    {
        Skip();
        qsizetype start = pos_;
        if (pos_ < s_.size() && (s_[pos_] == '-' || s_[pos_] == '+'))
            ++pos_;
        QString rest = s_.mid(pos_, 4).toUpper();
        if (rest.startsWith("INF") || rest.startsWith("NAN")) {
            pos_ += 3;
        } else {
            while (pos_ < s_.size() && s_[pos_].isDigit())
                ++pos_;
            if (pos_ < s_.size() && s_[pos_] == '.') {
                ++pos_;
                while (pos_ < s_.size() && s_[pos_].isDigit())
                    ++pos_;
            }
            if (pos_ < s_.size() && (s_[pos_] == 'E' || s_[pos_] == 'e') && pos_ + 1 < s_.size()
                && (s_[pos_ + 1].isDigit() || s_[pos_ + 1] == '-' || s_[pos_ + 1] == '+')) {
                pos_ += 2;
                while (pos_ < s_.size() && s_[pos_].isDigit())
                    ++pos_;
            }
        }
        QString num = s_.mid(start, pos_ - start);
        QChar suffix = pos_ < s_.size() ? s_[pos_].toUpper() : QChar();
        bool isFloat = num.contains('.') || num.contains('E', Qt::CaseInsensitive) || num.contains("INF", Qt::CaseInsensitive)
            || num.contains("NAN", Qt::CaseInsensitive);
        if (suffix == 'S' || suffix == 'C' || suffix == 'D' || suffix == 'F') {
            ++pos_;
            isFloat = true;
        } else {
            suffix = QChar();
        }
        if (pos_ < s_.size() && IsIdentChar(s_[pos_]))
            Fail("number expected");
        if (!isFloat) {
            bool ok = false;
            qint64 v = num.toLongLong(&ok);
            if (!ok)
                Fail("integer out of range");
            return TStreamValue::Integer(v);
        }
        TStreamValue v;
        if (suffix == 'C') {
            // exact: digits with at most four decimals
            QString n = num;
            bool neg = n.startsWith('-');
            if (neg || n.startsWith('+'))
                n.remove(0, 1);
            QStringList parts = n.split('.');
            if (parts.size() > 2 || n.contains('E', Qt::CaseInsensitive) || (parts.size() == 2 && parts[1].size() > 4))
                Fail("currency value expected");
            bool ok1 = false, ok2 = true;
            qint64 whole = parts[0].isEmpty() ? 0 : parts[0].toLongLong(&ok1);
            if (parts[0].isEmpty())
                ok1 = true;
            qint64 frac = parts.size() == 2 && !parts[1].isEmpty() ? parts[1].leftJustified(4, '0').toLongLong(&ok2) : 0;
            if (!ok1 || !ok2 || whole > INT64_MAX / 10000 - 1)
                Fail("currency value out of range");
            v.Type = vaCurrency;
            v.Int = (whole * 10000 + frac) * (neg ? -1 : 1);
            return v;
        }
        QByteArray latin = num.toLatin1();
        long double ld = CStrToLD(latin.constData());
        if (suffix == 'S') {
            v.Type = vaSingle;
            float f = float(ld);
            quint32 bits;
            std::memcpy(&bits, &f, 4);
            v.Bytes.resize(4);
            qToLittleEndian<quint32>(bits, v.Bytes.data());
        } else if (suffix == 'D' || suffix == 'F') {
            v.Type = suffix == 'D' ? vaDate : vaDouble;
            double d = CStrToD(latin.constData());
            quint64 bits;
            std::memcpy(&bits, &d, 8);
            v.Bytes.resize(8);
            qToLittleEndian<quint64>(bits, v.Bytes.data());
        } else {
            v.Type = vaExtended;
            v.Bytes = LongDoubleToExtended(ld);
        }
        return v;
    }

    TStreamValue Value(int depth)
    {
        if (depth > kMaxDepth)
            Fail("nesting too deep");
        QChar c = Peek();
        if (c.isNull())
            Fail("value expected");
        if (c == '\'' || c == '#')
            return TStreamValue::String(StringLiteral());
        if (c.isDigit() || c == '-' || c == '+' || c == '.')
            return Number();
        if (c == '(') {
            ++pos_;
            TStreamValue v;
            v.Type = vaList;
            while (Peek() != ')') {
                if (AtEnd())
                    Fail("')' expected");
                v.Items.append(Value(depth + 1));
            }
            ++pos_;
            return v;
        }
        if (c == '[') {
            ++pos_;
            QList<QByteArray> names;
            if (Peek() != ']') {
                for (;;) {
                    names.append(Ident(false).toLatin1());
                    if (Peek() == ',') {
                        ++pos_;
                        continue;
                    }
                    break;
                }
            }
            Expect(']');
            return TStreamValue::Set(names);
        }
        if (c == '{') {
            ++pos_;
            QByteArray hex;
            for (;;) {
                Skip();
                if (pos_ >= s_.size())
                    Fail("'}' expected");
                QChar h = s_[pos_];
                if (h == '}') {
                    ++pos_;
                    break;
                }
                if (!h.isDigit() && !((h.toUpper() >= 'A') && (h.toUpper() <= 'F')))
                    Fail("hexadecimal digit expected");
                hex.append(char(h.unicode()));
                ++pos_;
            }
            if (hex.size() % 2)
                Fail("odd number of hexadecimal digits");
            return TStreamValue::Binary(QByteArray::fromHex(hex));
        }
        if (c == '<') {
            ++pos_;
            TStreamValue v;
            v.Type = vaCollection;
            for (;;) {
                if (Peek() == '>') {
                    ++pos_;
                    break;
                }
                QString w = Ident(false);
                if (w.compare("item", Qt::CaseInsensitive) != 0)
                    Fail("'item' expected");
                TCollectionItem item;
                if (Peek() == '[') {
                    ++pos_;
                    item.HasIndex = true;
                    item.Index = TStreamValue::Integer(IntegerToken());
                    if (item.Index.Type == vaInt64)
                        Fail("item index out of range");
                    Expect(']');
                }
                for (;;) {
                    if (AtEnd())
                        Fail("'end' expected");
                    if (PeekWord().compare("end", Qt::CaseInsensitive) == 0) {
                        pos_ += 3;
                        break;
                    }
                    item.Props.append(Property(depth + 1));
                }
                v.Collection.append(item);
            }
            return v;
        }
        if (IsIdentStart(c)) {
            QString w = Ident(false);
            if (w.compare("True", Qt::CaseInsensitive) == 0)
                return TStreamValue::Boolean(true);
            if (w.compare("False", Qt::CaseInsensitive) == 0)
                return TStreamValue::Boolean(false);
            if (w.compare("nil", Qt::CaseInsensitive) == 0) {
                TStreamValue v;
                v.Type = vaNil;
                return v;
            }
            if (w.compare("INF", Qt::CaseInsensitive) == 0 || w.compare("NAN", Qt::CaseInsensitive) == 0) {
                pos_ -= 3;
                return Number();
            }
            if (w.size() > 255)
                Fail("identifier too long");
            return TStreamValue::Ident(w.toLatin1());
        }
        Fail("value expected");
    }
};

} // namespace

TStreamRecord TextToRecord(const QString& text)
{
    TTextParser p(text);
    return p.Root();
}

QByteArray TextToStream(const QString& text)
{
    return WriteStream(TextToRecord(text));
}

// ---------------------------------------------------------------------------
// Dump

namespace {

const char* TypeName(quint8 t)
{
    static const char* names[] = {"null", "list", "int8", "int16", "int32", "extended", "string", "ident",
                                  "false", "true", "binary", "set", "long string", "nil", "collection",
                                  "single", "currency", "date", "wide string", "int64", "utf8 string", "double"};
    return t < 22 ? names[t] : "?";
}

class TDumper {
public:
    explicit TDumper(const QByteArray& data) : d_(data) {}
    QString out;

    void Run()
    {
        qsizetype off = 0;
        TStreamRecord root = ReadStream(d_, off);   // validates first
        pos_ = 4;
        out += QString("%1  signature TPF0, %2 bytes\n").arg(Off(0)).arg(d_.size());
        Record(0);
        if (off != d_.size())
            out += QString("%1  %2 trailing bytes after the root record\n").arg(Off(off)).arg(d_.size() - off);
    }

private:
    const QByteArray& d_;
    qsizetype pos_ = 0;

    static QString Off(qsizetype p) { return QString("%1").arg(p, 6, 16, QChar('0')).toUpper(); }
    void Line(qsizetype at, int indent, const QString& text) { out += Off(at) + "  " + QString(indent * 2, ' ') + text + "\n"; }

    quint8 U8() { return quint8(d_[pos_++]); }
    QByteArray SS()
    {
        int n = U8();
        QByteArray b = d_.mid(pos_, n);
        pos_ += n;
        return b;
    }

    void Record(int indent)
    {
        qsizetype at = pos_;
        QString prefix;
        if ((quint8(d_[pos_]) & 0xF0) == 0xF0) {
            quint8 flags = U8() & 0x0F;
            prefix = QString("[prefix flags %1] ").arg(flags);
            if (flags & ffChildPos) {
                TReader r(d_, pos_);
                TStreamValue v = r.Value(0);
                pos_ = r.Pos();
                prefix += QString("[position %1] ").arg(v.Int);
            }
        }
        QByteArray cls = SS();
        QByteArray name = SS();
        Line(at, indent, prefix + "record " + QString::fromLatin1(cls) + " '" + FromWin1252(name) + "'");
        for (;;) {
            qsizetype pat = pos_;
            QByteArray pname = SS();
            if (pname.isEmpty()) {
                Line(pat, indent + 1, "end of properties");
                break;
            }
            TReader r(d_, pos_);
            TStreamValue v = r.Value(0);
            Line(pat, indent + 1, QString::fromLatin1(pname) + " (" + TypeName(v.Type) + ") = " + Brief(v));
            pos_ = r.Pos();
        }
        while (d_[pos_] != 0)
            Record(indent + 1);
        Line(pos_, indent, "end of children");
        ++pos_;
    }

    QString Brief(const TStreamValue& v)
    {
        switch (v.Type) {
        case vaInt8: case vaInt16: case vaInt32: case vaInt64: return QString::number(v.Int);
        case vaCurrency: return CurrencyText(v.Int);
        case vaExtended: case vaSingle: case vaDouble: case vaDate: return FloatText(v.FloatValue(), 21);
        case vaIdent: return FromWin1252(v.Bytes);
        case vaFalse: return "False";
        case vaTrue: return "True";
        case vaNil: return "nil";
        case vaString: case vaLString: case vaWString: case vaUTF8String: {
            TTextWriter w;
            const QString text = v.Type == vaUTF8String ? QString::fromUtf8(v.Bytes) : v.StringText();
            const QStringList pieces = w.StringPieces(text);
            if (pieces.size() > 1)
                return pieces[0] + QString(" ... (%1 characters)").arg(text.size());
            return pieces[0];
        }
        case vaBinary: {
            QString s = QString("%1 bytes").arg(v.Bytes.size());
            if (!v.Bytes.isEmpty())
                s += ": " + QString::fromLatin1(v.Bytes.left(24).toHex(' ').toUpper()) + (v.Bytes.size() > 24 ? " ..." : "");
            return s;
        }
        case vaSet: {
            QStringList n;
            for (const QByteArray& b : v.Names)
                n << QString::fromLatin1(b);
            return "[" + n.join(", ") + "]";
        }
        case vaList: return QString("%1 items").arg(v.Items.size());
        case vaCollection: return QString("%1 items").arg(v.Collection.size());
        default: return QString();
        }
    }
};

} // namespace

QString DumpStream(const QByteArray& stream)
{
    TDumper d(stream);
    d.Run();
    return d.out;
}

} // namespace pm
