// The inflated body of rtVoucherData, untrusted. Every voucher that reads is
// encoded again and must read back with the same numbers.
//
// With PM_FUZZ_WRITE_SEEDS=<folder> the target first writes a few
// well-formed streams there.

#include "session/voucherrecord.h"

#include <QFile>

#include <cstdint>
#include <cstdlib>

using namespace pm;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (const char* folder = std::getenv("PM_FUZZ_WRITE_SEEDS")) {
        TVoucherRecord v;
        v.DORVoucherID = 7;
        v.VoucherStatus = "N";
        v.TaxRate = Currency::FromUnits(350);
        v.IssueDate = 46000;
        v.OrgName = "Organization";
        TVoucherDetailRecord d;
        d.UpCount = 6;
        d.OnCount = 3;
        d.Color = "Q";
        for (int n : {0, 1, 3}) {
            v.details.assign(size_t(n), d);
            QFile f(QString::fromLocal8Bit(folder) + QString("/vouchers-%1").arg(n));
            if (f.open(QIODevice::WriteOnly))
                f.write(EncodeVoucherStream({v, v}));
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const TVoucherStreamResult r = ReadVoucherStream(bytes);
    for (const TVoucherRecord& v : r.vouchers) {
        const TVoucherStreamResult again = ReadVoucherStream(EncodeVoucherEntry(v));
        if (again.vouchers.size() != 1 || !again.skipped.empty() || !again.error.isEmpty())
            __builtin_trap();
        const TVoucherRecord& w = again.vouchers[0];
        if (w.DORVoucherID != v.DORVoucherID || w.TaxRate != v.TaxRate || w.TaxAmount != v.TaxAmount
            || w.details.size() != v.details.size() || w.LooseFaces != v.LooseFaces
            || !(w.IssueDate == v.IssueDate) || !(w.DueDate == v.DueDate))
            __builtin_trap();
        for (size_t i = 0; i < v.details.size(); ++i)
            if (w.details[i].Price != v.details[i].Price || w.details[i].OnCount != v.details[i].OnCount)
                __builtin_trap();
    }
    return 0;
}
