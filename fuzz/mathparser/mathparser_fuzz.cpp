// Formulas come from form definition files: any text must parse or fail
// cleanly, with a finite value and a position inside the text.
#include "forms/mathparser.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pm::TMathParser p;
    p.ParseString = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    p.OnGetVar = [](pm::TMathParser&, const QString& n, long double& v, bool& found) {
        if (n.size() == 1) {
            v = n[0].unicode() - 'a';
            found = true;
        }
    };
    p.Parse();
    if (p.ParseError() && p.ParseValue() != 0)
        abort();
    if (!std::isfinite(p.ParseValue()))
        abort();
    if (p.Position() < 1 || size_t(p.Position()) > size + 1)
        abort();
    return 0;
}
