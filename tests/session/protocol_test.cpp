#include "session/protocol.h"

#include <gtest/gtest.h>

#include <vector>

using namespace pm;

namespace {

const TCipherKey& Key()
{
    static const TCipherKey key = DeriveKey();
    return key;
}

// A frame with any payload, sealed as it is (whatever its size).
QByteArray RawFrame(uint16_t type, const QByteArray& plain, bool encrypt = true)
{
    const QByteArray wire = encrypt ? SealMessage(plain, Key()) : plain;
    QByteArray out(4, '\0');
    out[0] = char(type & 0xff);
    out[1] = char(type >> 8);
    out[2] = char(wire.size() & 0xff);
    out[3] = char(wire.size() >> 8);
    return out + wire;
}

QByteArray Int32(int32_t v)
{
    QByteArray p;
    PutInt32(p, 0, v);
    return p;
}

struct Outcome {
    std::vector<TReceivedItem> items;
    std::vector<QString> cipherErrors;
};

Outcome Receive(TMessageReceiver& r, const QByteArray& bytes, qsizetype piece)
{
    Outcome out;
    for (qsizetype at = 0; at < bytes.size(); at += piece) {
        r.Feed(bytes.mid(at, piece));
        for (;;) {
            TReceivedItem item;
            try {
                if (!r.Next(item))
                    break;
            } catch (const ECipherException& e) {
                out.cipherErrors.push_back(e.Message());
                continue;
            }
            out.items.push_back(item);
        }
    }
    return out;
}

Outcome Receive(const QByteArray& bytes, TMessageReceiver::Role role = TMessageReceiver::Role::Client,
            qsizetype piece = 1 << 30, bool encrypt = true)
{
    TMessageReceiver r(role, encrypt);
    return Receive(r, bytes, piece);
}

} // namespace

TEST(SessionProtocol, CatalogueOfPayloadSizes)
{
    const std::vector<std::pair<int, int>> known = {
        {0, 256}, {1, 63}, {2, 4}, {3, 2}, {4, 4}, {5, 4}, {6, 2}, {7, 4}, {8, 2}, {9, 256},
        {10, 2}, {11, 60}, {12, 60}, {13, 60}, {14, 4}, {15, 60}, {16, 4}, {17, 4}, {18, 256},
        {19, 2}, {20, 217}, {21, 217}, {22, 2}, {23, 4}, {24, 4}, {25, 4}, {26, 4}, {27, 4},
        {99, 2}, {100, 2}, {101, 2}, {102, 4}};
    for (int type = 0; type <= 0xffff; ++type) {
        int expected = -1;
        for (const auto& [t, n] : known)
            if (t == type)
                expected = n;
        if (expected >= 0) {
            EXPECT_EQ(PayloadSize(uint16_t(type)), expected) << type;
        } else {
            try {
                PayloadSize(uint16_t(type));
                ADD_FAILURE() << type;
                break;
            } catch (const EProtocolError& e) {
                EXPECT_EQ(e.Message(), "Unknown request type!");
            }
        }
    }
    std::vector<int> streams;
    for (int type = 0; type < 200; ++type)
        if (IsStreamHeaderType(uint16_t(type)))
            streams.push_back(type);
    EXPECT_EQ(streams, (std::vector<int>{2, 5, 14, 16, 17, 26, 27}));
}

TEST(SessionProtocol, FramesCarryTheSealedPayloadLength)
{
    const struct { uint16_t type; int wire; } cases[] = {
        {rtGetVouchers, 44}, {rtEnd, 44}, {rtVoucherData, 44}, {rtLogin, 108}, {11, 108},
        {rtApproveVoucher, 320}, {rtPayVoucher, 320}, {rtText, 384}, {rtNotice, 384}};
    for (const auto& c : cases) {
        const QByteArray frame = FrameMessage(c.type, QByteArray(), Key());
        ASSERT_EQ(frame.size(), 4 + c.wire) << c.type;
        EXPECT_EQ(uint8_t(frame[0]) | uint8_t(frame[1]) << 8, c.type);
        EXPECT_EQ(uint8_t(frame[2]) | uint8_t(frame[3]) << 8, c.wire);
        EXPECT_EQ(OpenMessage(frame.mid(4), Key()), QByteArray(PayloadSize(c.type), '\0'));
    }
    // Plain frames: exactly PayloadSize bytes of the caller's payload.
    const QByteArray plain = FrameMessage(rtPayVoucher, QByteArray(300, 'x'), Key(), false);
    EXPECT_EQ(plain.size(), 4 + 217);
    EXPECT_EQ(plain.mid(4), QByteArray(217, 'x'));
    EXPECT_THROW(FrameMessage(28, QByteArray(), Key()), EProtocolError);
}

TEST(SessionProtocol, LoginAndShortStrings)
{
    const QByteArray p = LoginPayload("1234567890123456789012345678901", QString::fromUtf8("pässwörd"));
    ASSERT_EQ(p.size(), 63);
    EXPECT_EQ(uint8_t(p[0]), 30);
    EXPECT_EQ(p.mid(1, 30), QByteArray("123456789012345678901234567890"));
    EXPECT_EQ(uint8_t(p[31]), 8);
    EXPECT_EQ(p.mid(32, 8), QByteArray("p\xe4ssw\xf6rd"));
    EXPECT_EQ(uint8_t(p[62]), 1);
    const TLogin login = ParseLoginPayload(p);
    EXPECT_EQ(login.fileNumber, "123456789012345678901234567890");
    EXPECT_EQ(login.password, QString::fromUtf8("pässwörd"));
    EXPECT_EQ(login.userKind, 1);

    // A length byte larger than the field is held to the field.
    QByteArray text = TextPayload("hello");
    EXPECT_EQ(ParseTextPayload(text), "hello");
    QByteArray bad(3, 'a');
    bad[0] = char(200);
    EXPECT_EQ(GetShortString(bad, 0, 1), "a");
    EXPECT_EQ(GetShortString(bad, 0, 10), "aa");
    EXPECT_EQ(GetInt32(VoucherRequestPayload(-5), 0), -5);
    EXPECT_EQ(VoucherRequestPayload(7).size(), 217);
}

TEST(SessionProtocol, RawDeflate)
{
    // Raw Deflate of "hello": no zlib header, no checksum.
    const QByteArray hello = QByteArray::fromHex("cb48cdc9c90700");
    EXPECT_EQ(DeflateRaw("hello"), hello);
    EXPECT_EQ(InflateRaw(hello), QByteArray("hello"));
    EXPECT_EQ(InflateRaw(QByteArray()), QByteArray());
    QByteArray big;
    for (int i = 0; i < 200000; ++i)
        big.append(char('a' + i % 7 + (i / 1000) % 3));
    EXPECT_EQ(InflateRaw(DeflateRaw(big)), big);
    EXPECT_EQ(InflateRaw(DeflateRaw(QByteArray())), QByteArray());
    const QByteArray packed = DeflateRaw(big);
    EXPECT_THROW(InflateRaw(packed.left(packed.size() / 2)), EProtocolError);   // truncated
    EXPECT_THROW(InflateRaw(QByteArray::fromHex("ffffffffffff")), EProtocolError);
    EXPECT_THROW(InflateRaw(packed, 1000), EProtocolError);                       // above the limit
    EXPECT_EQ(InflateRaw(packed, big.size()), big);
}

TEST(SessionProtocol, ReceiverFailures)
{
    using Role = TMessageReceiver::Role;
    QByteArray over(4 + 4001, 'A');
    over[0] = 0; over[1] = 0; over[2] = char(4001 & 0xff); over[3] = char(4001 >> 8);
    const struct {
        const char* name;
        QByteArray bytes;
        Role role;
        const char* error;
    } cases[] = {
        {"length above 4000", over, Role::Client, "Error"},
        {"length above 4000 before its payload", over.left(4), Role::Client, "Error"},
        {"text of 255", RawFrame(rtText, QByteArray(255, 'a')), Role::Client, "Error"},
        {"notice of 257", RawFrame(rtNotice, QByteArray(257, 'a')), Role::Client, "Error"},
        {"stream header of 5", RawFrame(rtVoucherData, QByteArray(5, 0)), Role::Client, "Incorrect message size"},
        {"stream header of 2", RawFrame(rtOrgData, QByteArray(2, 0)), Role::Client, "Incorrect message size"},
        {"negative stream size", RawFrame(rtVoucherData, Int32(-1)), Role::Client, "Incorrect message size"},
        {"stream size above the limit", RawFrame(rtOrgData, Int32(300 * 1024 * 1024)), Role::Client, "Incorrect message size"},
        {"type outside the catalogue", RawFrame(50, QByteArray(2, 0)), Role::Client, "Invalid OpCode"},
        {"login sent to the client", RawFrame(rtLogin, QByteArray(63, 0)), Role::Client, "Invalid OpCode"},
        {"server: wrong request size", RawFrame(rtGetVouchers, QByteArray(3, 0)), Role::Server, "Error"},
        {"server: unknown type", RawFrame(103, QByteArray(2, 0)), Role::Server, "Invalid OpCode"},
    };
    for (const auto& c : cases) {
        // The failure also ends reading: a good message after it never comes out.
        const Outcome out = Receive(c.bytes + FrameMessage(rtText, TextPayload("after"), Key()), c.role);
        ASSERT_EQ(out.items.size(), 1u) << c.name;
        EXPECT_EQ(out.items[0].kind, TReceivedItem::Failure) << c.name;
        EXPECT_EQ(out.items[0].error, c.error) << c.name;
    }
}

TEST(SessionProtocol, ReceiverCompletesWhatArrivesInPieces)
{
    QByteArray vouchers(5000, 'v');
    QByteArray session = FrameMessage(rtText, TextPayload("Welcome"), Key())
                         + FrameStream(rtVoucherData, vouchers, Key())
                         + FrameMessage(rtNotice, TextPayload("Notice"), Key())
                         + FrameStream(14, "dropped by the client", Key())
                         + FrameStream(rtOrgData, QByteArray(), Key())
                         + FrameMessage(rtEnd, QByteArray(), Key())
                         + FrameMessage(rtText, TextPayload("never read"), Key());
    for (qsizetype piece : {qsizetype(1), qsizetype(3), qsizetype(4001), session.size()}) {
        const Outcome out = Receive(session, TMessageReceiver::Role::Client, piece);
        ASSERT_EQ(out.items.size(), 6u) << piece;
        EXPECT_TRUE(out.cipherErrors.empty());
        EXPECT_EQ(out.items[0].kind, TReceivedItem::Message);
        EXPECT_EQ(ParseTextPayload(out.items[0].data), "Welcome");
        EXPECT_EQ(out.items[1].kind, TReceivedItem::Stream);
        EXPECT_EQ(out.items[1].type, rtVoucherData);
        EXPECT_EQ(InflateRaw(out.items[1].data), vouchers);
        EXPECT_EQ(out.items[2].type, rtNotice);
        EXPECT_EQ(ParseTextPayload(out.items[2].data), "Notice");
        EXPECT_EQ(out.items[3].type, 14);
        EXPECT_EQ(out.items[4].type, rtOrgData);
        EXPECT_EQ(InflateRaw(out.items[4].data), QByteArray());
        EXPECT_EQ(out.items[5].kind, TReceivedItem::Close);
        EXPECT_EQ(out.items[5].type, rtEnd);
    }
}

TEST(SessionProtocol, ServerRoleReceivesRequestsAndReportStreams)
{
    const QByteArray session = FrameMessage(rtLogin, LoginPayload("F1", "pw"), Key())
                               + FrameStream(rtReportHeader, "header", Key())
                               + FrameStream(rtReportPrizes, "prizes", Key())
                               + FrameMessage(rtApproveVoucher, VoucherRequestPayload(42), Key())
                               + FrameMessage(rtGetVouchers, QByteArray(), Key())
                               + FrameMessage(rtEnd, QByteArray(), Key());
    const Outcome out = Receive(session, TMessageReceiver::Role::Server, 7);
    ASSERT_EQ(out.items.size(), 6u);
    EXPECT_EQ(ParseLoginPayload(out.items[0].data).fileNumber, "F1");
    EXPECT_EQ(out.items[1].type, rtReportHeader);
    EXPECT_EQ(InflateRaw(out.items[1].data), QByteArray("header"));
    EXPECT_EQ(InflateRaw(out.items[2].data), QByteArray("prizes"));
    EXPECT_EQ(GetInt32(out.items[3].data, 0), 42);
    EXPECT_EQ(out.items[4].type, rtGetVouchers);
    EXPECT_EQ(out.items[5].kind, TReceivedItem::Close);
}

TEST(SessionProtocol, DecipheringErrorsLeaveTheConnectionReadable)
{
    // An empty enciphered body cannot be deciphered; a payload with a
    // character outside Base64 neither. Both surface and reading goes on.
    QByteArray badText = RawFrame(rtText, QByteArray(256, 'a'));
    badText[10] = ' ';
    const QByteArray session = RawFrame(rtVoucherData, Int32(0)) + badText
                               + FrameMessage(rtText, TextPayload("still here"), Key());
    const Outcome out = Receive(session);
    EXPECT_EQ(out.cipherErrors, (std::vector<QString>{"Invalid file format", "Invalid Base64 Character"}));
    ASSERT_EQ(out.items.size(), 1u);
    EXPECT_EQ(ParseTextPayload(out.items[0].data), "still here");

    // Unencrypted, an empty body is simply an empty stream.
    const Outcome plain = Receive(RawFrame(rtVoucherData, Int32(0), false), TMessageReceiver::Role::Client, 1 << 30, false);
    ASSERT_EQ(plain.items.size(), 1u);
    EXPECT_EQ(plain.items[0].kind, TReceivedItem::Stream);
    EXPECT_TRUE(plain.items[0].data.isEmpty());
}

TEST(SessionProtocol, ResetStartsANewConnectionInTheHeaderState)
{
    TMessageReceiver r;
    // A connection dropped in the middle of a stream body...
    const QByteArray stream = FrameStream(rtVoucherData, QByteArray(3000, 'x'), Key());
    Outcome first = Receive(r, stream.left(stream.size() / 2), 1 << 30);
    EXPECT_TRUE(first.items.empty());
    EXPECT_EQ(r.CurrentState(), TMessageReceiver::State::Body);
    // ...and the next connection starts clean.
    r.Reset();
    Outcome second = Receive(r, FrameMessage(rtText, TextPayload("fresh"), Key()), 1 << 30);
    ASSERT_EQ(second.items.size(), 1u);
    EXPECT_EQ(ParseTextPayload(second.items[0].data), "fresh");

    // So does one after a failure.
    Receive(r, RawFrame(77, QByteArray(2, 0)), 1 << 30);
    EXPECT_EQ(r.CurrentState(), TMessageReceiver::State::Failed);
    r.Reset();
    EXPECT_EQ(Receive(r, FrameMessage(rtEnd, QByteArray(), Key()), 1 << 30).items.at(0).kind, TReceivedItem::Close);
}
