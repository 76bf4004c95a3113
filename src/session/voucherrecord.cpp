#include "session/voucherrecord.h"

#include "session/protocol.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace pm {

namespace {

struct TextField {
    int offset;
    int width;   // n of "short string of n"
    QString TVoucherRecord::*member;
};

// Every short string of the voucher record.
constexpr TextField kVoucherTexts[] = {
    {8, 10, &TVoucherRecord::OrgID},
    {19, 10, &TVoucherRecord::DistributorID},
    {30, 10, &TVoucherRecord::PromoterID},
    {41, 25, &TVoucherRecord::BuyerName},
    {67, 12, &TVoucherRecord::BuyerID},
    {84, 1, &TVoucherRecord::VoucherStatus},
    {128, 15, &TVoucherRecord::IssuedBy},
    {152, 35, &TVoucherRecord::DistName},
    {188, 45, &TVoucherRecord::OrgName},
    {234, 35, &TVoucherRecord::OrgMailingAddr},
    {270, 20, &TVoucherRecord::OrgMailingCity},
    {291, 2, &TVoucherRecord::OrgMailingState},
    {294, 10, &TVoucherRecord::OrgMailingZip},
    {305, 45, &TVoucherRecord::PromoterName},
    {351, 35, &TVoucherRecord::ProMailingAddr},
    {387, 20, &TVoucherRecord::ProMailingCity},
    {408, 2, &TVoucherRecord::ProMailingState},
    {411, 10, &TVoucherRecord::ProMailingZip},
    {422, 35, &TVoucherRecord::LocationAddr},
    {458, 20, &TVoucherRecord::LocationCity},
    {479, 2, &TVoucherRecord::LocationState},
    {482, 10, &TVoucherRecord::LocationZip},
    {493, 200, &TVoucherRecord::DORNotes},
    {694, 200, &TVoucherRecord::ShippingNotes},
    {895, 2, &TVoucherRecord::ClassID},
    {918, 16, &TVoucherRecord::ColorRotation},
};

struct IntField {
    int offset;
    int32_t TVoucherRecord::*member;
};

constexpr IntField kVoucherInts[] = {
    {4, &TVoucherRecord::DORVoucherID},
    {80, &TVoucherRecord::VoucherNumber},
    {898, &TVoucherRecord::TotalFaces},
    {902, &TVoucherRecord::TotalSheets},
    {906, &TVoucherRecord::District},
    {910, &TVoucherRecord::BookletFaces},
    {914, &TVoucherRecord::LooseFaces},
};

int32_t GetI32(const char* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);   // the wire is little-endian, as is every target of this build
    return int32_t(v);
}

void PutI32(char* p, int32_t v)
{
    std::memcpy(p, &v, 4);
}

int64_t GetI64(const char* p)
{
    int64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

void PutI64(char* p, int64_t v)
{
    std::memcpy(p, &v, 8);
}

double GetDouble(const char* p)
{
    double v;
    std::memcpy(&v, p, 8);
    return v;
}

void PutDouble(char* p, double v)
{
    std::memcpy(p, &v, 8);
}

} // namespace

double ReadExtended(const char* p)
{
    uint64_t mantissa;
    std::memcpy(&mantissa, p, 8);
    const unsigned se = unsigned(uint8_t(p[8])) | unsigned(uint8_t(p[9])) << 8;
    const bool negative = se & 0x8000;
    const int exponent = int(se & 0x7fff);
    double value;
    if (exponent == 0x7fff) {
        value = (mantissa << 1) == 0 ? std::numeric_limits<double>::infinity()
                                     : std::numeric_limits<double>::quiet_NaN();
    } else if (mantissa == 0) {
        value = 0.0;
    } else {
        // value = mantissa * 2^(exponent - 16383 - 63); denormals have exponent 1.
        value = std::ldexp(double(mantissa), (exponent == 0 ? 1 : exponent) - 16383 - 63);
    }
    return negative ? -value : value;
}

void WriteExtended(char* p, double value)
{
    uint64_t mantissa = 0;
    unsigned se = std::signbit(value) ? 0x8000 : 0;
    if (std::isnan(value)) {
        se |= 0x7fff;
        mantissa = 0xC000000000000000ull;
    } else if (std::isinf(value)) {
        se |= 0x7fff;
        mantissa = 0x8000000000000000ull;
    } else if (value != 0.0) {
        int exp = 0;
        const double fraction = std::frexp(std::fabs(value), &exp);   // [0.5, 1)
        mantissa = uint64_t(std::ldexp(fraction, 64));
        se |= unsigned(exp - 1 + 16383) & 0x7fff;
    }
    std::memcpy(p, &mantissa, 8);
    p[8] = char(uint8_t(se));
    p[9] = char(uint8_t(se >> 8));
}

bool DecodeVoucherRecord(const char* p, TVoucherRecord& voucher, int32_t& detailCount, QString& error)
{
    TVoucherRecord v;
    detailCount = GetI32(p);
    for (const IntField& f : kVoucherInts)
        v.*f.member = GetI32(p + f.offset);
    for (const TextField& f : kVoucherTexts)
        v.*f.member = ReadShortString(p + f.offset, f.width);
    v.IssueDate = GetDouble(p + 86);
    v.DueDate = GetDouble(p + 94);
    v.IssuedOn = GetDouble(p + 144);
    for (double date : {v.IssueDate, v.DueDate, v.IssuedOn}) {
        // Beyond 31 December 9999 no date column holds it.
        if (!std::isfinite(date) || std::fabs(date) > 2958466.0) {
            error = QStringLiteral("voucher %1: date out of range").arg(v.DORVoucherID);
            return false;
        }
    }
    v.VoucherTotal = Currency::FromUnits(GetI64(p + 102));
    v.TaxAmount = Currency::FromUnits(GetI64(p + 110));
    const double rate = ReadExtended(p + 118);
    const double units = std::nearbyint(rate * 10000.0);
    // Decimal(8,4) holds at most 9999.9999.
    if (!std::isfinite(units) || std::fabs(units) > 99999999.0) {
        error = QStringLiteral("voucher %1: tax rate out of range").arg(v.DORVoucherID);
        return false;
    }
    v.TaxRate = Currency::FromUnits(int64_t(units));
    voucher = std::move(v);
    return true;
}

void DecodeVoucherDetailRecord(const char* p, TVoucherDetailRecord& d)
{
    d.DORDetailID = GetI32(p);
    d.UpCount = GetI32(p + 4);
    d.OnCount = GetI32(p + 8);
    d.Price = Currency::FromUnits(GetI64(p + 12));
    d.Color = ReadShortString(p + 20, 1);
    d.Style = ReadShortString(p + 22, 1);
    d.Series = GetI32(p + 24);
    d.Serial = ReadShortString(p + 28, 12);
}

QByteArray EncodeVoucherEntry(const TVoucherRecord& v)
{
    QByteArray out(kVoucherRecordSize + kVoucherDetailRecordSize * qsizetype(v.details.size()), '\0');
    char* p = out.data();
    PutI32(p, int32_t(v.details.size()));
    for (const IntField& f : kVoucherInts)
        PutI32(p + f.offset, v.*f.member);
    for (const TextField& f : kVoucherTexts)
        WriteShortString(p + f.offset, f.width, v.*f.member);
    PutDouble(p + 86, v.IssueDate);
    PutDouble(p + 94, v.DueDate);
    PutI64(p + 102, v.VoucherTotal.Units());
    PutI64(p + 110, v.TaxAmount.Units());
    WriteExtended(p + 118, double(v.TaxRate.Units()) / 10000.0);
    PutDouble(p + 144, v.IssuedOn);
    char* d = p + kVoucherRecordSize;
    for (const TVoucherDetailRecord& det : v.details) {
        PutI32(d, det.DORDetailID);
        PutI32(d + 4, det.UpCount);
        PutI32(d + 8, det.OnCount);
        PutI64(d + 12, det.Price.Units());
        WriteShortString(d + 20, 1, det.Color);
        WriteShortString(d + 22, 1, det.Style);
        PutI32(d + 24, det.Series);
        WriteShortString(d + 28, 12, det.Serial);
        d += kVoucherDetailRecordSize;
    }
    return out;
}

QByteArray EncodeVoucherStream(const std::vector<TVoucherRecord>& vouchers)
{
    QByteArray out;
    for (const TVoucherRecord& v : vouchers)
        out += EncodeVoucherEntry(v);
    return out;
}

TVoucherStreamResult ReadVoucherStream(const QByteArray& data)
{
    TVoucherStreamResult result;
    const char* p = data.constData();
    qsizetype pos = 0;
    const qsizetype size = data.size();
    while (pos < size) {
        if (size - pos < kVoucherRecordSize) {
            result.error = QStringLiteral("voucher record cut short at byte %1").arg(pos);
            break;
        }
        TVoucherRecord v;
        int32_t count = 0;
        QString error;
        const int32_t id = GetI32(p + pos + 4);
        const bool ok = DecodeVoucherRecord(p + pos, v, count, error);
        pos += kVoucherRecordSize;
        if (count < 0)
            count = 0;
        // The count comes from the network: the details must be there.
        if (qint64(count) * kVoucherDetailRecordSize > size - pos) {
            result.error = QStringLiteral("voucher %1 announces %2 detail records, the data holds %3")
                               .arg(id)
                               .arg(count)
                               .arg((size - pos) / kVoucherDetailRecordSize);
            break;
        }
        if (!ok) {
            result.skipped.push_back(error);
            pos += qsizetype(count) * kVoucherDetailRecordSize;
            continue;
        }
        v.details.resize(size_t(count));
        for (TVoucherDetailRecord& d : v.details) {
            DecodeVoucherDetailRecord(p + pos, d);
            pos += kVoucherDetailRecordSize;
        }
        result.vouchers.push_back(std::move(v));
    }
    return result;
}

} // namespace pm
