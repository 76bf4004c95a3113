#include "components/win1252.h"

#include <QHash>

namespace pm {

namespace {

// 0x80..0x9F; 0 marks the five bytes the code page leaves undefined (they map
// to the C1 control of the same number, as Windows does).
const char16_t HighTable[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};

const QHash<char16_t, unsigned char>& ReverseTable()
{
    static const QHash<char16_t, unsigned char> table = [] {
        QHash<char16_t, unsigned char> t;
        for (int i = 0; i < 32; ++i)
            t.insert(HighTable[i] ? HighTable[i] : char16_t(0x80 + i), (unsigned char)(0x80 + i));
        return t;
    }();
    return table;
}

} // namespace

QChar Win1252Char(unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0x9F && HighTable[byte - 0x80])
        return QChar(HighTable[byte - 0x80]);
    return QChar(char16_t(byte));
}

QString FromWin1252(const char* data, qsizetype size)
{
    QString text(size, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < size; ++i)
        out[i] = Win1252Char((unsigned char)data[i]);
    return text;
}

QString FromWin1252(const QByteArray& bytes)
{
    return FromWin1252(bytes.constData(), bytes.size());
}

QByteArray ToWin1252(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    const auto& reverse = ReverseTable();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            bytes.append(char(c));
            continue;
        }
        auto it = reverse.constFind(c);
        if (it != reverse.constEnd()) {
            bytes.append(char(it.value()));
            continue;
        }
        // A character outside the code page; a surrogate pair stands for one.
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        bytes.append('?');
    }
    return bytes;
}

} // namespace pm
