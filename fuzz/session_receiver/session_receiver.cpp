// Input: one control byte (bit 0 encryption off, bit 1 server role, bits 2..7
// piece size - 1 in units of 1..64 bytes), then the bytes of a connection.
// Complete stream bodies are inflated and read as voucher data.
//
// With PM_FUZZ_WRITE_SEEDS=<folder> the target first writes well-formed
// sessions there, so that the run starts from real frames.

#include "session/protocol.h"
#include "session/voucherrecord.h"

#include <QFile>

#include <cstdint>
#include <cstdlib>

using namespace pm;

namespace {

void WriteSeed(const QString& folder, const QString& name, char control, const QByteArray& bytes)
{
    QFile f(folder + "/" + name);
    if (f.open(QIODevice::WriteOnly))
        f.write(QByteArray(1, control) + bytes);
}

void WriteSeeds(const QString& folder)
{
    const TCipherKey key = DeriveKey();
    TVoucherRecord v;
    v.DORVoucherID = 1;
    v.OrgName = "Org";
    v.details.resize(2);
    const QByteArray vouchers = EncodeVoucherStream({v, v});
    for (bool encrypt : {true, false}) {
        const char control = char((encrypt ? 0 : 1) | (3 << 2));
        const QByteArray client = FrameMessage(rtText, TextPayload("hello"), key, encrypt)
                                  + FrameStream(rtVoucherData, vouchers, key, encrypt)
                                  + FrameMessage(rtNotice, TextPayload("notice"), key, encrypt)
                                  + FrameStream(rtOrgData, "org", key, encrypt)
                                  + FrameMessage(rtEnd, QByteArray(), key, encrypt);
        WriteSeed(folder, QString("client-%1").arg(encrypt), control, client);
        const QByteArray server = FrameMessage(rtLogin, LoginPayload("F", "P"), key, encrypt)
                                  + FrameStream(rtReportHeader, "report", key, encrypt)
                                  + FrameMessage(rtApproveVoucher, VoucherRequestPayload(5), key, encrypt)
                                  + FrameMessage(rtGetVouchers, QByteArray(), key, encrypt)
                                  + FrameMessage(rtEnd, QByteArray(), key, encrypt);
        WriteSeed(folder, QString("server-%1").arg(encrypt), char(control | 2), server);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (const char* folder = std::getenv("PM_FUZZ_WRITE_SEEDS"))
        WriteSeeds(QString::fromLocal8Bit(folder));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t control = data[0];
    const bool encrypt = !(control & 1);
    const auto role = (control & 2) ? TMessageReceiver::Role::Server : TMessageReceiver::Role::Client;
    const size_t piece = size_t(control >> 2) + 1;
    TMessageReceiver receiver(role, encrypt);
    const char* p = reinterpret_cast<const char*>(data) + 1;
    size_t left = size - 1;
    while (left > 0) {
        const size_t n = left < piece ? left : piece;
        receiver.Feed(p, qsizetype(n));
        p += n;
        left -= n;
        for (;;) {
            TReceivedItem item;
            try {
                if (!receiver.Next(item))
                    break;
            } catch (const ECipherException&) {
                continue;
            }
            if (item.kind == TReceivedItem::Stream) {
                try {
                    ReadVoucherStream(InflateRaw(item.data, 1 << 20));
                } catch (const EProtocolError&) {
                }
            } else if (item.kind == TReceivedItem::Message) {
                if (item.type == rtText || item.type == rtNotice)
                    ParseTextPayload(item.data);
                else if (item.type == rtLogin)
                    ParseLoginPayload(item.data);
            }
        }
    }
    return 0;
}
