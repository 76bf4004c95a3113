// Speed of the session codec: the message cipher against OpenSSL's own
// AES-256-CBC, stream body preparation against Deflate alone, key
// derivation, and decoding voucher data.

#include "session/adtg.h"
#include "session/cipher.h"
#include "session/protocol.h"
#include "session/voucherrecord.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <time.h>

using namespace pm;

namespace {

constexpr int kMiB = 1 << 20;

QByteArray Pattern(int size)
{
    QByteArray b(size, Qt::Uninitialized);
    uint32_t x = 12345;
    for (int i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        b[i] = char(x >> 24);
    }
    return b;
}

// OpenSSL's AES-256-CBC over the same bytes, one context per call as the
// cipher does.
QByteArray OpenSslCbc(const QByteArray& in, const TCipherKey& key)
{
    static const unsigned char iv[16] = {};
    QByteArray out(in.size() + 16, Qt::Uninitialized);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(ctx, EVP_aes_256_cbc(), nullptr, key.data(), iv);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    int n = 0;
    EVP_EncryptUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &n,
                      reinterpret_cast<const unsigned char*>(in.constData()), int(in.size()));
    EVP_CIPHER_CTX_free(ctx);
    out.truncate(n);
    return out;
}

void BM_CipherStream_1MiB(benchmark::State& state)
{
    const QByteArray data = Pattern(kMiB);
    const TCipherKey key = DeriveKey();
    for (auto _ : state)
        benchmark::DoNotOptimize(CipherEncrypt(data, key));
    state.SetBytesProcessed(int64_t(state.iterations()) * kMiB);
}
BENCHMARK(BM_CipherStream_1MiB);

void BM_OpenSslAes256Cbc_1MiB(benchmark::State& state)
{
    const QByteArray data = Pattern(kMiB);
    const TCipherKey key = DeriveKey();
    for (auto _ : state)
        benchmark::DoNotOptimize(OpenSslCbc(data, key));
    state.SetBytesProcessed(int64_t(state.iterations()) * kMiB);
}
BENCHMARK(BM_OpenSslAes256Cbc_1MiB);

double ThreadSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Both alternately in one loop, timed in thread CPU time, so that the ratio
// sees the same machine and is not skewed by other work on a shared machine.
void BM_CipherStreamVsOpenSsl_1MiB(benchmark::State& state)
{
    const QByteArray data = Pattern(kMiB);
    const TCipherKey key = DeriveKey();
    double ours = 0, theirs = 0;
    for (auto _ : state) {
        const double t0 = ThreadSeconds();
        benchmark::DoNotOptimize(CipherEncrypt(data, key));
        const double t1 = ThreadSeconds();
        benchmark::DoNotOptimize(OpenSslCbc(data, key));
        const double t2 = ThreadSeconds();
        ours += t1 - t0;
        theirs += t2 - t1;
    }
    state.counters["cipher_MiB_s"] = double(state.iterations()) / ours;
    state.counters["openssl_MiB_s"] = double(state.iterations()) / theirs;
    state.counters["speed_ratio"] = theirs / ours;   // 1.0: as fast as OpenSSL
}
BENCHMARK(BM_CipherStreamVsOpenSsl_1MiB)->Unit(benchmark::kMillisecond);

// About 1 MiB of Schedule A rows as the client sends them.
QByteArray RecordsetOfAboutOneMiB()
{
    TAdtgRecordset rs;
    rs.tableName = "QRCashDetail";
    rs.columns.push_back(AdtgColumn("DetailID", TAdtgKind::AutoNumber));
    rs.columns.push_back(AdtgColumn("QRID", TAdtgKind::Long));
    rs.columns.push_back(AdtgColumn("SessionDate", TAdtgKind::DateTime));
    for (const char* name : {"PlayerCount", "EntranceFees", "GrossSales", "PrizePayout", "NetProfit", "NetLoss",
                             "Withholding", "Shortage", "Deposit", "ExcessProceeds", "PaperSales", "TEDSales",
                             "CashDeposit", "CreditDeposit"})
        rs.columns.push_back(AdtgColumn(name, TAdtgKind::Currency));
    QByteArray out;
    for (int rows = 1024;; rows *= 2) {
        rs.rows.clear();
        for (int r = 0; r < rows; ++r) {
            TAdtgRow row{int64_t(r + 1), int64_t(7), 46000.0 + r / 3};
            for (int c = 0; c < 14; ++c)
                row.push_back(Currency::FromUnits(int64_t((r * 7919 + c * 104729) % 50000000)));
            rs.rows.push_back(std::move(row));
        }
        out = WriteAdtg(rs);
        if (out.size() >= kMiB || out.isEmpty())
            break;
    }
    return out.left(kMiB);
}

void BM_SendStreamBody_1MiB(benchmark::State& state)
{
    const QByteArray content = RecordsetOfAboutOneMiB();
    const TCipherKey key = DeriveKey();
    qsizetype body = 0;
    for (auto _ : state) {
        const QByteArray b = PrepareStreamBody(content, key);
        body = b.size();
        benchmark::DoNotOptimize(b);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * content.size());
    state.counters["body_bytes"] = double(body);
}
BENCHMARK(BM_SendStreamBody_1MiB)->Unit(benchmark::kMillisecond);

void BM_DeflateOnly_1MiB(benchmark::State& state)
{
    const QByteArray content = RecordsetOfAboutOneMiB();
    for (auto _ : state)
        benchmark::DoNotOptimize(DeflateRaw(content));
    state.SetBytesProcessed(int64_t(state.iterations()) * content.size());
}
BENCHMARK(BM_DeflateOnly_1MiB)->Unit(benchmark::kMillisecond);

void BM_DeriveKey(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(DeriveKey());
}
BENCHMARK(BM_DeriveKey);

void BM_DecodeVouchers_10000x5(benchmark::State& state)
{
    std::vector<TVoucherRecord> vouchers(10000);
    for (int i = 0; i < 10000; ++i) {
        TVoucherRecord& v = vouchers[size_t(i)];
        v.DORVoucherID = i;
        v.OrgName = "St. Mary's Bingo";
        v.DORNotes = QString(120, 'n');
        v.TaxRate = Currency::FromUnits(350);
        v.IssueDate = 46000 + i % 90;
        v.details.resize(5);
        for (int d = 0; d < 5; ++d) {
            v.details[size_t(d)].DORDetailID = i * 5 + d;
            v.details[size_t(d)].Serial = "SER123456";
            v.details[size_t(d)].Color = "Q";
        }
    }
    const QByteArray data = EncodeVoucherStream(vouchers);
    for (auto _ : state) {
        const TVoucherStreamResult r = ReadVoucherStream(data);
        if (r.vouchers.size() != 10000)
            state.SkipWithError("decoding failed");
        benchmark::DoNotOptimize(r);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * data.size());
}
BENCHMARK(BM_DecodeVouchers_10000x5)->Unit(benchmark::kMillisecond);

} // namespace
