#include "session/protocol.h"

#include "components/win1252.h"

#include <QAbstractSocket>

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace pm {

namespace {

// Plain payload sizes of types 0..27 and 99..102; -1 marks a gap.
constexpr int kLowSizes[28] = {256, 63, 4, 2, 4, 4, 2, 4, 2, 256, 2, 60, 60, 60, 4,
                               60,  4,  4, 256, 2, 217, 217, 2, 4, 4, 4, 4, 4};
constexpr int kHighSizes[4] = {2, 2, 2, 4};

int SizeOf(uint16_t type)
{
    if (type < 28)
        return kLowSizes[type];
    if (type >= 99 && type <= 102)
        return kHighSizes[type - 99];
    return -1;
}

uint16_t ReadLE16(const char* p)
{
    return uint16_t(uint8_t(p[0]) | uint8_t(p[1]) << 8);
}

} // namespace

int PayloadSize(uint16_t type)
{
    const int n = SizeOf(type);
    if (n < 0)
        throw EProtocolError(QStringLiteral("Unknown request type!"));
    return n;
}

bool IsKnownRequestType(uint16_t type)
{
    return SizeOf(type) >= 0;
}

bool IsStreamHeaderType(uint16_t type)
{
    switch (type) {
    case 2: case 5: case 14: case 16: case 17: case 26: case 27:
        return true;
    default:
        return false;
    }
}

void WriteShortString(char* field, int n, const QString& text)
{
    QByteArray bytes = ToWin1252(text.left(n));
    if (bytes.size() > n)
        bytes.truncate(n);
    std::memset(field, 0, size_t(n) + 1);
    field[0] = char(uint8_t(bytes.size()));
    std::memcpy(field + 1, bytes.constData(), size_t(bytes.size()));
}

QString ReadShortString(const char* field, int n)
{
    return FromWin1252(field + 1, std::min(int(uint8_t(field[0])), n));
}

void PutShortString(QByteArray& payload, int offset, int n, const QString& text)
{
    if (payload.size() < offset + 1 + n)
        payload.resize(offset + 1 + n, '\0');
    WriteShortString(payload.data() + offset, n, text);
}

QString GetShortString(const QByteArray& payload, int offset, int n)
{
    if (offset < 0 || offset >= payload.size())
        return QString();
    // A field cut short by the end of the payload carries what is there.
    return ReadShortString(payload.constData() + offset, std::min(n, int(payload.size()) - offset - 1));
}

void PutInt32(QByteArray& payload, int offset, int32_t value)
{
    if (payload.size() < offset + 4)
        payload.resize(offset + 4, '\0');
    const auto v = uint32_t(value);
    for (int i = 0; i < 4; ++i)
        payload[offset + i] = char(uint8_t(v >> (8 * i)));
}

int32_t GetInt32(const QByteArray& payload, int offset)
{
    if (offset < 0 || offset + 4 > payload.size())
        return 0;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= uint32_t(uint8_t(payload[offset + i])) << (8 * i);
    return int32_t(v);
}

QByteArray LoginPayload(const QString& fileNumber, const QString& password, uint8_t userKind)
{
    QByteArray p(63, '\0');
    PutShortString(p, 0, 30, fileNumber);
    PutShortString(p, 31, 30, password);
    p[62] = char(userKind);
    return p;
}

TLogin ParseLoginPayload(const QByteArray& payload)
{
    TLogin login;
    login.fileNumber = GetShortString(payload, 0, 30);
    login.password = GetShortString(payload, 31, 30);
    login.userKind = payload.size() > 62 ? uint8_t(payload[62]) : 0;
    return login;
}

QByteArray TextPayload(const QString& text)
{
    QByteArray p(256, '\0');
    PutShortString(p, 0, 255, text);
    return p;
}

QString ParseTextPayload(const QByteArray& payload)
{
    return GetShortString(payload, 0, 255);
}

QByteArray VoucherRequestPayload(int32_t dorVoucherId)
{
    QByteArray p(217, '\0');
    PutInt32(p, 0, dorVoucherId);
    return p;
}

QByteArray FrameMessage(uint16_t type, const QByteArray& payload, const TCipherKey& key, bool encrypt)
{
    const int n = PayloadSize(type);
    QByteArray plain = payload.left(n);
    if (plain.size() < n)
        plain.resize(n, '\0');
    const QByteArray wire = encrypt ? SealMessage(plain, key) : plain;
    if (wire.size() > kMaxPayload)
        throw EProtocolError(QStringLiteral("Message size exceeds buffer"));
    QByteArray out(kHeaderSize, '\0');
    out[0] = char(uint8_t(type));
    out[1] = char(uint8_t(type >> 8));
    out[2] = char(uint8_t(wire.size()));
    out[3] = char(uint8_t(wire.size() >> 8));
    out += wire;
    return out;
}

QByteArray DeflateRaw(const QByteArray& content)
{
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw EProtocolError(QStringLiteral("Compression failed"));
    QByteArray out;
    out.resize(qsizetype(deflateBound(&z, uLong(content.size()))) + 16);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.constData()));
    z.avail_in = uInt(content.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    const int rc = deflate(&z, Z_FINISH);
    const qsizetype produced = qsizetype(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END)
        throw EProtocolError(QStringLiteral("Compression failed"));
    out.truncate(produced);
    return out;
}

QByteArray InflateRaw(const QByteArray& packed, qint64 limit)
{
    if (packed.isEmpty())
        return QByteArray();
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK)
        throw EProtocolError(QStringLiteral("Decompression failed"));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.constData()));
    z.avail_in = uInt(packed.size());
    QByteArray out;
    qsizetype used = 0;
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        if (out.size() - used < 16384) {
            const qsizetype grow = std::max<qsizetype>(out.size(), 65536);
            if (out.size() >= limit) {
                inflateEnd(&z);
                throw EProtocolError(QStringLiteral("Decompressed data too large"));
            }
            out.resize(std::min<qint64>(out.size() + grow, limit + 1));
        }
        z.next_out = reinterpret_cast<Bytef*>(out.data() + used);
        z.avail_out = uInt(out.size() - used);
        rc = inflate(&z, Z_NO_FLUSH);
        used = out.size() - qsizetype(z.avail_out);
        if (used > limit) {
            inflateEnd(&z);
            throw EProtocolError(QStringLiteral("Decompressed data too large"));
        }
        if (rc == Z_STREAM_END)
            break;
        if (rc != Z_OK || (z.avail_in == 0 && z.avail_out != 0)) {
            // Damaged data, or the input ended before the last block.
            inflateEnd(&z);
            throw EProtocolError(QStringLiteral("Invalid compressed data"));
        }
    }
    inflateEnd(&z);
    out.truncate(used);
    return out;
}

QByteArray PrepareStreamBody(const QByteArray& content, const TCipherKey& key, bool encrypt)
{
    QByteArray body = DeflateRaw(content);
    if (encrypt)
        SealStream(body, key);
    return body;
}

QByteArray FrameStream(uint16_t type, const QByteArray& content, const TCipherKey& key, bool encrypt)
{
    const QByteArray body = PrepareStreamBody(content, key, encrypt);
    if (body.size() > kMaxStreamSize)
        throw EProtocolError(QStringLiteral("Message size exceeds buffer"));
    QByteArray size;
    PutInt32(size, 0, int32_t(body.size()));
    return FrameMessage(type, size, key, encrypt) + body;
}

bool SendMessage(QAbstractSocket& socket, uint16_t type, const QByteArray& payload, const TCipherKey& key)
{
    const QByteArray bytes = FrameMessage(type, payload, key);
    if (socket.state() == QAbstractSocket::ConnectedState)
        socket.write(bytes);
    return socket.state() == QAbstractSocket::ConnectedState;
}

bool SendStream(QAbstractSocket& socket, uint16_t type, const QByteArray& content, const TCipherKey& key)
{
    QByteArray bytes;
    try {
        bytes = FrameStream(type, content, key);
    } catch (const std::exception&) {
        return false;
    }
    if (socket.state() != QAbstractSocket::ConnectedState)
        return false;
    return socket.write(bytes) == bytes.size();
}

// ---------------------------------------------------------------------------

TMessageReceiver::TMessageReceiver(Role role, bool encrypt, QByteArray keyPhrase)
    : role_(role), encrypt_(encrypt), keyPhrase_(std::move(keyPhrase))
{
    if (encrypt_)
        key_ = DeriveKey(keyPhrase_);
}

void TMessageReceiver::Reset()
{
    state_ = State::Header;
    buffer_.clear();
    pos_ = 0;
    msgType_ = 0;
    streamSize_ = 0;
    collector_.clear();
}

void TMessageReceiver::Feed(const char* data, qsizetype size)
{
    if (state_ == State::Failed || state_ == State::Closed || size <= 0)
        return;   // the rest of a failed or closed connection is never read
    Compact();
    buffer_.append(data, size);
}

void TMessageReceiver::Compact()
{
    if (pos_ > 0 && (pos_ == buffer_.size() || pos_ >= 65536)) {
        buffer_.remove(0, pos_);
        pos_ = 0;
    }
}

void TMessageReceiver::Fail(TReceivedItem& item, const QString& text)
{
    state_ = State::Failed;
    item = TReceivedItem{};
    item.kind = TReceivedItem::Failure;
    item.type = msgType_;
    item.error = text;
    buffer_.clear();
    pos_ = 0;
    collector_.clear();
}

bool TMessageReceiver::Next(TReceivedItem& item)
{
    for (;;) {
        switch (state_) {
        case State::Failed:
        case State::Closed:
            return false;

        case State::Header: {
            const qsizetype avail = buffer_.size() - pos_;
            if (avail < kHeaderSize)
                return false;
            const char* h = buffer_.constData() + pos_;
            const uint16_t type = ReadLE16(h);
            const uint16_t length = ReadLE16(h + 2);
            msgType_ = type;
            if (length > kMaxPayload) {
                Fail(item, QStringLiteral("Error"));
                return true;
            }
            if (avail < kHeaderSize + length)
                return false;   // the rest of the payload is still on its way
            QByteArray payload(h + kHeaderSize, length);
            pos_ += kHeaderSize + length;
            Compact();
            if (encrypt_) {
                key_ = DeriveKey(keyPhrase_);
                payload = OpenMessage(payload, key_);
            }

            if (IsStreamHeaderType(type)) {
                if (payload.size() != 4) {
                    Fail(item, QStringLiteral("Incorrect message size"));
                    return true;
                }
                const int32_t size = GetInt32(payload, 0);
                if (size < 0 || size > kMaxStreamSize) {
                    Fail(item, QStringLiteral("Incorrect message size"));
                    return true;
                }
                streamSize_ = size;
                collector_.clear();
                state_ = State::Body;
                continue;   // a zero-size body completes at once
            }
            if (type == rtEnd || type == rtClose) {
                state_ = State::Closed;
                item = TReceivedItem{};
                item.kind = TReceivedItem::Close;
                item.type = type;
                return true;
            }
            if (role_ == Role::Client) {
                if (type != rtText && type != rtNotice) {
                    Fail(item, QStringLiteral("Invalid OpCode"));
                    return true;
                }
                if (payload.size() != 256) {
                    Fail(item, QStringLiteral("Error"));
                    return true;
                }
            } else {
                if (!IsKnownRequestType(type)) {
                    Fail(item, QStringLiteral("Invalid OpCode"));
                    return true;
                }
                if (payload.size() != PayloadSize(type)) {
                    Fail(item, QStringLiteral("Error"));
                    return true;
                }
            }
            item = TReceivedItem{};
            item.kind = TReceivedItem::Message;
            item.type = type;
            item.data = std::move(payload);
            return true;
        }

        case State::Body: {
            const qsizetype avail = buffer_.size() - pos_;
            const qsizetype wanted = qsizetype(streamSize_) - collector_.size();
            const qsizetype take = std::min(avail, wanted);
            if (take > 0) {
                collector_.append(buffer_.constData() + pos_, take);
                pos_ += take;
                Compact();
            }
            if (collector_.size() < streamSize_)
                return false;
            state_ = State::Header;
            QByteArray body = std::move(collector_);
            collector_ = QByteArray();
            if (encrypt_)
                OpenStream(body, key_);
            item = TReceivedItem{};
            item.kind = TReceivedItem::Stream;
            item.type = msgType_;
            item.data = std::move(body);
            return true;
        }
        }
    }
}

} // namespace pm
