#include "data/vouchercodes.h"

namespace pm {

const QString ColorLetters = QStringLiteral("QKBNGELVOPUWRTYHZ");
const QString StyleLetters = QStringLiteral("BTCFLASXZ");
const QString LotText = QStringLiteral("LOT");

const QStringList& ColorNames()
{
    static const QStringList names = {"AQUA", "BLACK", "BLUE", "BROWN", "GREEN", "GREY",
                                      "LIME", "OLIVE", "ORANGE", "PINK", "PURPLE", "RAINBOW",
                                      "RED", "TAN", "YELLOW", "WHITE", "ELECTRONIC"};
    return names;
}

const QStringList& StyleNames()
{
    static const QStringList names = {"BORDER", "TINT", "TINT-ST", "SEALED", "STRIPED",
                                      "STAR", "SOLID", "SPECTRM", "TICKETS"};
    return names;
}

namespace {

QString Lookup(const QString& text, const QString& letters, const QStringList& names)
{
    if (text.isEmpty()) return QString();
    const int pos = int(letters.indexOf(text.left(1).toUpper()));
    return pos < 0 ? QString() : names.at(pos);
}

} // namespace

QString VoucherStatusText(const QString& text)
{
    if (text.isEmpty()) return QString();
    const QString c = text.left(1).toUpper();
    if (c == "N") return "NEW";
    if (c == "A") return "APPROVED";
    if (c == "I") return "IN TRANSIT";
    if (c == "D") return "DELIVERED";
    if (c == "V") return "VOIDED";
    return c;
}

QString VoucherStatusCode(const QString& text)
{
    return text.left(1);
}

QString ColorText(const QString& text)
{
    return Lookup(text, ColorLetters, ColorNames());
}

QString StyleText(const QString& text)
{
    return Lookup(text, StyleLetters, StyleNames());
}

} // namespace pm
