#include "forms/mathparser.h"

namespace pm {

TMathParser::TMathParser() = default;

quint16 TMathParser::Position() const
{
    return FPos + 1 > 65535 ? quint16(65535) : quint16(FPos + 1);
}

void TMathParser::Parse()
{
    FParseValue = 0;
    FParseError = true;
}

} // namespace pm
