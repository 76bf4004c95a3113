// Feeds arbitrary bytes to the ADTG reader. Whatever reads must write back,
// and what was written must read and write again to the same bytes.

#include "session/adtg.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    pm::TAdtgRecordset rs;
    QString error;
    if (!pm::ReadAdtg(bytes, rs, error)) {
        if (error.isEmpty())
            std::abort();  // a failure must say why
        return 0;
    }
    // The writer may refuse what the reader took (a value longer than its
    // column, say); what it writes must survive a second round unchanged.
    QByteArray first;
    if (!pm::WriteAdtg(rs, first, error))
        return 0;
    pm::TAdtgRecordset again;
    if (!pm::ReadAdtg(first, again, error)) {
        std::fprintf(stderr, "written recordset does not read: %s\n", qPrintable(error));
        std::abort();
    }
    QByteArray second;
    if (!pm::WriteAdtg(again, second, error) || second != first) {
        std::fprintf(stderr, "second round differs: %s\n", qPrintable(error));
        std::abort();
    }
    return 0;
}
