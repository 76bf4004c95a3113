#pragma once
// Message framing and the request catalogue of the department's server.
//
// A message is a 4-byte header (type, payload length; unsigned 16-bit
// little-endian each) and a payload of at most 4000 bytes. With encryption
// on, the payload on the wire is the Base64 text of the enciphered plain
// payload, whose size is fixed by the type. A stream is a header message
// of a stream type whose plain payload is the int32 size of the body that
// follows raw on the same connection; the body is raw Deflate of the
// content, then enciphered.

#include "session/cipher.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <deque>
#include <stdexcept>

class QIODevice;
class QAbstractSocket;

namespace pm {

enum TRequestType : uint16_t {
    rtText = 0,
    rtLogin = 1,
    rtVoucherData = 2,
    rtOrgData = 5,
    rtClose = 10,
    rtReportHeader = 16,
    rtReportCash = 17,
    rtNotice = 18,
    rtGetVouchers = 19,
    rtApproveVoucher = 20,
    rtPayVoucher = 21,
    rtReportInventory = 26,
    rtReportPrizes = 27,
    rtEnd = 99,
};

// User kinds the server knows; this client always logs in as ukOrganization.
enum TUserKind : uint8_t { ukDistributor = 0, ukOrganization = 1, ukInspector = 2, ukAdministrator = 3 };

// Server texts the client acts on (compared whole and case-sensitive).
inline constexpr char kLoginRefusedText[] = "Incorrect login attempt. (IP address logged)";
inline constexpr char kReportReceivedText[] = "Quarterly Report received successfully!";

// Message encryption is on in every build of this system.
inline constexpr bool kMessageEncryption = true;
inline constexpr int kMaxPayload = 4000;
inline constexpr int kHeaderSize = 4;
// No stream body this system exchanges comes near this; a header announcing
// more is refused rather than waited for.
inline constexpr qint64 kMaxStreamSize = qint64(256) * 1024 * 1024;
// Inflated stream contents are held to the same limit.
inline constexpr qint64 kMaxInflatedSize = kMaxStreamSize;

// Failures of the protocol layer that reach the caller: "Unknown request
// type!", "Message size exceeds buffer", bad compressed data.
class EProtocolError : public std::runtime_error {
public:
    explicit EProtocolError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& Message() const { return message_; }

private:
    QString message_;
};

// A failed session: the text has been logged and the connection closed.
class ESocketError : public EProtocolError {
public:
    using EProtocolError::EProtocolError;
};

// Plain payload size of a message type; "Unknown request type!" otherwise.
int PayloadSize(uint16_t type);
// Whether the type is in the catalogue at all.
bool IsKnownRequestType(uint16_t type);
// Types whose messages announce a stream body: 2, 5, 14, 16, 17, 26, 27.
bool IsStreamHeaderType(uint16_t type);

// Short string of n: a length byte, then up to n Windows-1252 characters,
// occupying 1 + n bytes at `offset`; longer texts are cut to n characters.
void PutShortString(QByteArray& payload, int offset, int n, const QString& text);
// The same on a field of 1 + n bytes that the caller has made sure of: the
// unused bytes of the field are zero.
void WriteShortString(char* field, int n, const QString& text);
QString ReadShortString(const char* field, int n);
// Reads one; a length byte above n (or past the payload) is held to what the
// field can carry.
QString GetShortString(const QByteArray& payload, int offset, int n);
void PutInt32(QByteArray& payload, int offset, int32_t value);
int32_t GetInt32(const QByteArray& payload, int offset);   // 0 past the end

// rtLogin payload (63 bytes): file number and password as short strings of
// 30, then the user kind.
QByteArray LoginPayload(const QString& fileNumber, const QString& password, uint8_t userKind = ukOrganization);
struct TLogin {
    QString fileNumber;
    QString password;
    uint8_t userKind = 0;
};
TLogin ParseLoginPayload(const QByteArray& payload);
// rtText / rtNotice payload (256 bytes): a short string of 255.
QByteArray TextPayload(const QString& text);
QString ParseTextPayload(const QByteArray& payload);
// rtApproveVoucher / rtPayVoucher payload (217 bytes): DORVoucherID at 0.
QByteArray VoucherRequestPayload(int32_t dorVoucherId);

// The bytes of one message: the first PayloadSize(type) bytes of the payload
// (zeros where it is shorter), sealed when `encrypt`. Throws "Message size
// exceeds buffer" for a sealed payload above 4000 bytes.
QByteArray FrameMessage(uint16_t type, const QByteArray& payload, const TCipherKey& key,
                        bool encrypt = kMessageEncryption);

// Raw Deflate (no zlib or gzip wrapper), 32 KB window, normal compression.
QByteArray DeflateRaw(const QByteArray& content);
// Inflates raw Deflate data; throws EProtocolError for damaged or truncated
// data and for contents above `limit` bytes.
QByteArray InflateRaw(const QByteArray& packed, qint64 limit = kMaxInflatedSize);

// A stream body: Deflate of the content, then sealed when `encrypt`.
QByteArray PrepareStreamBody(const QByteArray& content, const TCipherKey& key, bool encrypt = kMessageEncryption);
// The header message announcing the body, followed by the body.
QByteArray FrameStream(uint16_t type, const QByteArray& content, const TCipherKey& key,
                       bool encrypt = kMessageEncryption);

// Sending over a connected socket. Qt's socket keeps what the peer has not
// yet accepted and sends it as the socket becomes writable, so a partially
// accepted message is completed rather than cut.
// Returns whether the socket is still connected afterwards.
bool SendMessage(QAbstractSocket& socket, uint16_t type, const QByteArray& payload, const TCipherKey& key);
// Compresses, enciphers, announces and sends a stream; false when an error
// stopped it (nothing of the stream has then been written).
bool SendStream(QAbstractSocket& socket, uint16_t type, const QByteArray& content, const TCipherKey& key);

// What the receiver hands on.
struct TReceivedItem {
    enum Kind { Message, Stream, Close, Failure };
    Kind kind = Message;
    uint16_t type = 0;
    QByteArray data;   // plain payload, or plain (deciphered, still compressed) stream body
    QString error;     // Failure: the text the session fails with
};

// The receiving rules as a state machine fed with bytes. The client role
// accepts texts (0), notices (18), stream headers and the closing types
// (10, 99); the server role accepts every non-stream type of the catalogue
// as a message, 99 and 10 closing the session.
//
// Departures from the Windows program's receiver, because TCP is a byte
// stream: a header or payload that has only partly arrived is kept and
// completed when the rest arrives; a stream header announcing a negative size
// or one above kMaxStreamSize fails with "Incorrect message size"; Reset()
// (every new connection) returns to the header state with an empty collector.
class TMessageReceiver {
public:
    enum class Role { Client, Server };
    enum class State { Header, Body, Failed, Closed };

    explicit TMessageReceiver(Role role = Role::Client, bool encrypt = kMessageEncryption,
                              QByteArray keyPhrase = QByteArray(kKeyPhrase));

    void Reset();
    void Feed(const char* data, qsizetype size);
    void Feed(const QByteArray& data) { Feed(data.constData(), data.size()); }
    // Takes the next complete item. After a Failure or a Close nothing more
    // comes until Reset(). ECipherException (a payload or body that does not
    // decipher) propagates; the message is then consumed and the receiver is
    // back in the header state, ready for what follows.
    bool Next(TReceivedItem& item);

    State CurrentState() const { return state_; }
    qsizetype Buffered() const { return buffer_.size() - pos_; }
    // The key of the last deciphered message (derived afresh for each one).
    const TCipherKey& CipherKey() const { return key_; }

private:
    void Fail(TReceivedItem& item, const QString& text);
    void Compact();

    Role role_;
    bool encrypt_;
    QByteArray keyPhrase_;
    TCipherKey key_{};
    State state_ = State::Header;
    QByteArray buffer_;
    qsizetype pos_ = 0;
    uint16_t msgType_ = 0;
    int32_t streamSize_ = 0;
    QByteArray collector_;
};

} // namespace pm
