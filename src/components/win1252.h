#pragma once
// Windows-1252, the code page of every byte boundary (wire, streams, files
// that the Windows program wrote).

#include <QByteArray>
#include <QString>

namespace pm {

// Characters that Windows-1252 cannot hold become '?'.
QByteArray ToWin1252(const QString& text);
QString FromWin1252(const QByteArray& bytes);
QString FromWin1252(const char* data, qsizetype size);
// The character of one byte.
QChar Win1252Char(unsigned char byte);

} // namespace pm
