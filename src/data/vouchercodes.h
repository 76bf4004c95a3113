#pragma once
// The voucher code tables and their texts: status N, A, I, D, V; the colour
// and style letters; "LOT" for an on-count of 99.

#include <QString>
#include <QStringList>

namespace pm {

// "NEW", "APPROVED", "IN TRANSIT", "DELIVERED", "VOIDED"; another letter
// upper-cased; "" for an empty text.
QString VoucherStatusText(const QString& text);
// The first character as typed ("approved" stores "a").
QString VoucherStatusCode(const QString& text);
// By position of the first character, upper-cased, in "QKBNGELVOPUWRTYHZ"
// (colours) or "BTCFLASXZ" (styles); "" when not found.
QString ColorText(const QString& text);
QString StyleText(const QString& text);

extern const QString ColorLetters;   // "QKBNGELVOPUWRTYHZ"
extern const QString StyleLetters;   // "BTCFLASXZ"
// The texts in letter order ("AQUA" ... "ELECTRONIC", "BORDER" ... "TICKETS").
const QStringList& ColorNames();
const QStringList& StyleNames();

// An on-count of 99 marks a lot of tickets; its text is "LOT".
constexpr int LotOnCount = 99;
extern const QString LotText;

} // namespace pm
