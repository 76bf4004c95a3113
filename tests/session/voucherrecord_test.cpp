#include "session/voucherrecord.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace pm;

namespace {

TVoucherRecord SampleVoucher(int32_t id, int details)
{
    TVoucherRecord v;
    v.DORVoucherID = id;
    v.OrgID = "0012345";
    v.DistributorID = "D-77";
    v.PromoterID = "P9";
    v.BuyerName = QString::fromUtf8("Zoë Müller");
    v.BuyerID = "B123456789AB";
    v.VoucherNumber = 4711 + id;
    v.VoucherStatus = "N";
    v.IssueDate = 46000.0;
    v.DueDate = 46015.5;
    v.VoucherTotal = Currency::FromUnits(1234500);
    v.TaxAmount = Currency::FromUnits(432075);
    v.TaxRate = Currency::FromUnits(350);
    v.IssuedBy = "clerk";
    v.IssuedOn = 46000.25;
    v.DistName = "Distributor Inc.";
    v.OrgName = QString(45, 'O');
    v.OrgMailingAddr = "1 Main St";
    v.OrgMailingCity = "Springfield";
    v.OrgMailingState = "VL";
    v.OrgMailingZip = "12345-6789";
    v.PromoterName = "Promoter";
    v.ProMailingAddr = "2 Side St";
    v.ProMailingCity = "Shelbyville";
    v.ProMailingState = "VL";
    v.ProMailingZip = "54321";
    v.LocationAddr = "Hall";
    v.LocationCity = "Capital City";
    v.LocationState = "VL";
    v.LocationZip = "11111";
    v.DORNotes = QString(200, 'n');
    v.ShippingNotes = QString::fromUtf8("Ship € fast");
    v.ClassID = "C1";
    v.TotalFaces = 1;
    v.TotalSheets = 2;
    v.District = 3;
    v.BookletFaces = 18;
    v.LooseFaces = 6;
    v.ColorRotation = "QKBNGELVOPUWRTYH";
    for (int i = 0; i < details; ++i) {
        TVoucherDetailRecord d;
        d.DORDetailID = id * 100 + i;
        d.UpCount = 6;
        d.OnCount = 3 + i;
        d.Price = Currency::FromUnits(5000 + i);
        d.Color = "Q";
        d.Style = "B";
        d.Series = 900 + i;
        d.Serial = QString("SER%1").arg(i);
        v.details.push_back(d);
    }
    return v;
}

} // namespace

TEST(SessionVoucherRecord, FieldsSitAtTheirOffsets)
{
    const TVoucherRecord v = SampleVoucher(77, 2);
    const QByteArray e = EncodeVoucherEntry(v);
    ASSERT_EQ(e.size(), 935 + 2 * 41);
    auto i32 = [&](int at) { int32_t x; std::memcpy(&x, e.constData() + at, 4); return x; };
    auto i64 = [&](int at) { int64_t x; std::memcpy(&x, e.constData() + at, 8); return x; };
    auto f64 = [&](int at) { double x; std::memcpy(&x, e.constData() + at, 8); return x; };
    auto ss = [&](int at) { return e.mid(at + 1, uint8_t(e[at])); };
    EXPECT_EQ(i32(0), 2);
    EXPECT_EQ(i32(4), 77);
    EXPECT_EQ(ss(8), "0012345");
    EXPECT_EQ(ss(41), "Zo\xeb M\xfcller");
    EXPECT_EQ(i32(80), 4711 + 77);
    EXPECT_EQ(ss(84), "N");
    EXPECT_EQ(f64(86), 46000.0);
    EXPECT_EQ(f64(94), 46015.5);
    EXPECT_EQ(i64(102), 1234500);
    EXPECT_EQ(i64(110), 432075);
    EXPECT_EQ(ss(128), "clerk");
    EXPECT_EQ(f64(144), 46000.25);
    EXPECT_EQ(ss(188), QByteArray(45, 'O'));
    EXPECT_EQ(ss(493), QByteArray(200, 'n'));
    EXPECT_EQ(ss(694), "Ship \x80 fast");
    EXPECT_EQ(ss(895), "C1");
    EXPECT_EQ(i32(898), 1);
    EXPECT_EQ(i32(914), 6);
    EXPECT_EQ(ss(918), "QKBNGELVOPUWRTYH");
    // Detail records follow.
    EXPECT_EQ(i32(935), 7700);
    EXPECT_EQ(i32(935 + 8), 3);
    EXPECT_EQ(i64(935 + 12), 5000);
    EXPECT_EQ(ss(935 + 20), "Q");
    EXPECT_EQ(ss(935 + 22), "B");
    EXPECT_EQ(i32(935 + 24), 900);
    EXPECT_EQ(ss(935 + 28), "SER0");
    EXPECT_EQ(i32(935 + 41), 7701);
}

TEST(SessionVoucherRecord, TaxRateTravelsAsExtendedFloat)
{
    // The x87 80-bit layout, written independently where the compiler has it.
    if constexpr (std::numeric_limits<long double>::digits == 64) {
        for (long double rate : {0.035L, 0.0L, 1.0L / 3.0L, 0.00005L, 12.5L, -0.07L}) {
            char bytes[16] = {};
            std::memcpy(bytes, &rate, 10);
            EXPECT_NEAR(ReadExtended(bytes), double(rate), 1e-15) << double(rate);
            char mine[10];
            WriteExtended(mine, double(rate));
            long double back = 0;
            std::memcpy(&back, mine, 10);
            EXPECT_EQ(double(back), double(rate));
        }
    }
    QByteArray e = EncodeVoucherEntry(SampleVoucher(1, 0));
    const struct { double rate; int64_t units; } cases[] = {
        {0.035, 350}, {0.0350000001, 350}, {0.03506, 351}, {0.12344999, 1234}, {0.0, 0}, {9999.9999, 99999999}};
    for (const auto& c : cases) {
        WriteExtended(e.data() + 118, c.rate);
        const TVoucherStreamResult r = ReadVoucherStream(e);
        ASSERT_EQ(r.vouchers.size(), 1u) << c.rate;
        EXPECT_EQ(r.vouchers[0].TaxRate.Units(), c.units) << c.rate;
    }
}

TEST(SessionVoucherRecord, StreamRoundTrip)
{
    std::vector<TVoucherRecord> vouchers = {SampleVoucher(1, 5), SampleVoucher(2, 0), SampleVoucher(3, 1)};
    const TVoucherStreamResult r = ReadVoucherStream(EncodeVoucherStream(vouchers));
    EXPECT_TRUE(r.error.isEmpty());
    EXPECT_TRUE(r.skipped.empty());
    ASSERT_EQ(r.vouchers.size(), 3u);
    EXPECT_EQ(r.vouchers[0], vouchers[0]);
    EXPECT_EQ(r.vouchers[1], vouchers[1]);
    EXPECT_EQ(r.vouchers[2], vouchers[2]);
    EXPECT_TRUE(ReadVoucherStream(QByteArray()).vouchers.empty());

    // Texts longer than their fields are cut to them.
    TVoucherRecord longer = SampleVoucher(4, 0);
    longer.OrgName = QString(50, 'x');
    longer.VoucherStatus = "AB";
    const TVoucherStreamResult cut = ReadVoucherStream(EncodeVoucherEntry(longer));
    ASSERT_EQ(cut.vouchers.size(), 1u);
    EXPECT_EQ(cut.vouchers[0].OrgName, QString(45, 'x'));
    EXPECT_EQ(cut.vouchers[0].VoucherStatus, "A");
}

TEST(SessionVoucherRecord, UntrustedStreams)
{
    const QByteArray one = EncodeVoucherEntry(SampleVoucher(1, 2));
    const QByteArray two = EncodeVoucherEntry(SampleVoucher(2, 1));

    // A record whose date is no number is skipped with its details; the next
    // entry is read from the right place.
    QByteArray badDate = one;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::memcpy(badDate.data() + 94, &nan, 8);
    TVoucherStreamResult r = ReadVoucherStream(badDate + two);
    ASSERT_EQ(r.skipped.size(), 1u);
    ASSERT_EQ(r.vouchers.size(), 1u);
    EXPECT_EQ(r.vouchers[0].DORVoucherID, 2);
    EXPECT_EQ(r.vouchers[0].details.size(), 1u);

    QByteArray badRate = one;
    WriteExtended(badRate.data() + 118, std::numeric_limits<double>::infinity());
    EXPECT_EQ(ReadVoucherStream(badRate).skipped.size(), 1u);

    // More details announced than the data holds: reading stops, nothing is
    // allocated from the count.
    QByteArray huge = one;
    const int32_t many = 0x7fffffff;
    std::memcpy(huge.data(), &many, 4);
    r = ReadVoucherStream(two + huge);
    EXPECT_EQ(r.vouchers.size(), 1u);
    EXPECT_FALSE(r.error.isEmpty());

    // A record cut short ends the reading after what came before it.
    r = ReadVoucherStream(two + one.left(500));
    EXPECT_EQ(r.vouchers.size(), 1u);
    EXPECT_FALSE(r.error.isEmpty());

    // A negative count means no details.
    QByteArray negative = EncodeVoucherEntry(SampleVoucher(5, 0));
    const int32_t minus = -3;
    std::memcpy(negative.data(), &minus, 4);
    r = ReadVoucherStream(negative + two);
    ASSERT_EQ(r.vouchers.size(), 2u);
    EXPECT_TRUE(r.vouchers[0].details.empty());

    // A length byte above the field's width is held to the field.
    QByteArray wide = two;
    wide[84] = char(200);
    r = ReadVoucherStream(wide);
    ASSERT_EQ(r.vouchers.size(), 1u);
    EXPECT_EQ(r.vouchers[0].VoucherStatus.size(), 1);
}
