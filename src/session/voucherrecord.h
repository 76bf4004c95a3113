#pragma once
// The records of the voucher data stream (the inflated body of
// rtVoucherData): zero or more entries, each a 935-byte voucher record
// followed by as many 41-byte detail records as its first field says.
// Short strings are Windows-1252, integers little-endian, dates 8-byte
// doubles (days since 30 December 1899), money signed 64-bit counts of
// 1/10000, the tax rate an 80-bit extended float.

#include "components/currency.h"
#include "components/datetime.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

namespace pm {

inline constexpr int kVoucherRecordSize = 935;
inline constexpr int kVoucherDetailRecordSize = 41;

struct TVoucherDetailRecord {
    int32_t DORDetailID = 0;
    int32_t UpCount = 0;
    int32_t OnCount = 0;
    Currency Price;
    QString Color;    // ss 1
    QString Style;    // ss 1
    int32_t Series = 0;
    QString Serial;   // ss 12
    bool operator==(const TVoucherDetailRecord&) const = default;
};

struct TVoucherRecord {
    int32_t DORVoucherID = 0;
    QString OrgID;            // ss 10
    QString DistributorID;    // ss 10
    QString PromoterID;       // ss 10
    QString BuyerName;        // ss 25
    QString BuyerID;          // ss 12
    int32_t VoucherNumber = 0;
    QString VoucherStatus;    // ss 1
    TDateTime IssueDate = 0;
    TDateTime DueDate = 0;
    Currency VoucherTotal;
    Currency TaxAmount;
    Currency TaxRate;         // the rate rounded to four decimals (0.035 is 350 units)
    QString IssuedBy;         // ss 15
    TDateTime IssuedOn = 0;
    QString DistName;         // ss 35
    QString OrgName;          // ss 45
    QString OrgMailingAddr;   // ss 35
    QString OrgMailingCity;   // ss 20
    QString OrgMailingState;  // ss 2
    QString OrgMailingZip;    // ss 10
    QString PromoterName;     // ss 45
    QString ProMailingAddr;   // ss 35
    QString ProMailingCity;   // ss 20
    QString ProMailingState;  // ss 2
    QString ProMailingZip;    // ss 10
    QString LocationAddr;     // ss 35
    QString LocationCity;     // ss 20
    QString LocationState;    // ss 2
    QString LocationZip;      // ss 10
    QString DORNotes;         // ss 200
    QString ShippingNotes;    // ss 200
    QString ClassID;          // ss 2
    int32_t TotalFaces = 0;
    int32_t TotalSheets = 0;
    int32_t District = 0;
    int32_t BookletFaces = 0;
    int32_t LooseFaces = 0;
    QString ColorRotation;    // ss 16
    std::vector<TVoucherDetailRecord> details;
    bool operator==(const TVoucherRecord&) const = default;
};

// 80-bit extended-precision float (x87 layout, little-endian) to and from
// doubles; non-finite values read as NaN or infinity.
double ReadExtended(const char* p);
void WriteExtended(char* p, double value);

// One voucher record (without its details); false with `error` for a record
// whose values cannot be stored (a date or tax rate that is not a finite
// number in range). `detailCount` is the record's first field.
bool DecodeVoucherRecord(const char* p, TVoucherRecord& voucher, int32_t& detailCount, QString& error);
void DecodeVoucherDetailRecord(const char* p, TVoucherDetailRecord& detail);

// The entry of one voucher: its record, the count of its details, then the
// detail records. Texts longer than their fields are cut.
QByteArray EncodeVoucherEntry(const TVoucherRecord& voucher);
QByteArray EncodeVoucherStream(const std::vector<TVoucherRecord>& vouchers);

struct TVoucherStreamResult {
    std::vector<TVoucherRecord> vouchers;   // in stream order
    // One text per voucher that was skipped (its details are skipped with it).
    std::vector<QString> skipped;
    // Why reading stopped before the end of the data (a short record, more
    // details announced than the data holds); empty when all was read.
    QString error;
};
// Reads every entry of an inflated voucher data stream. A detail count below
// zero counts as no details.
TVoucherStreamResult ReadVoucherStream(const QByteArray& data);

} // namespace pm
