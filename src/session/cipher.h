#pragma once
// The message cipher: AES-256 in CBC mode under a 32-byte key derived from a
// fixed pass phrase, with an initialisation block drawn from a SHA-1 based
// random source. Payloads travel as Base64 text of their ciphertext, stream
// bodies as raw ciphertext.

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <mutex>
#include <stdexcept>

namespace pm {

// Every deciphering failure: "Invalid file format", "Invalid Base64 Character".
class ECipherException : public std::runtime_error {
public:
    explicit ECipherException(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& Message() const { return message_; }

private:
    QString message_;
};

// The pass phrase both ends derive the key from.
inline constexpr char kKeyPhrase[] = "Marchpane VORSK 4861";
inline constexpr int kCipherKeySize = 32;
using TCipherKey = std::array<uint8_t, kCipherKeySize>;

// Four-word mixing step shared by the key schedule and the block function of
// MixCipher.
void Mix128(uint32_t& aa, uint32_t& bb, uint32_t& cc, uint32_t& dd);

// The 128-bit Feistel block cipher that finishes PiHash.
struct TMixCipherContext {
    bool encrypt = true;
    int32_t rounds = 8;                        // 4 to 16
    std::array<std::array<uint32_t, 2>, 16> subkeys{};
};
// Key schedule from 16 key bytes; rounds are clamped to 4..16.
void MixCipherInit(TMixCipherContext& ctx, const uint8_t key[16], int rounds, bool encrypt = true);
// Enciphers one 16-byte block in place.
void MixCipherEncryptBlock(const TMixCipherContext& ctx, uint8_t block[16]);

// State of the 2048-bit digest.
struct TPiHashContext {
    int32_t digestIndex = 0;
    std::array<uint8_t, 256> digest{};
    int32_t keyIndex = 0;
    std::array<uint8_t, 16> key{};
};
void PiHashInit(TPiHashContext& ctx);
void PiHashUpdate(TPiHashContext& ctx, const uint8_t* data, size_t size);
// Finishes the digest; returns its first min(n, 256) bytes.
QByteArray PiHashFinal(TPiHashContext& ctx, int n);
QByteArray PiHash(const QByteArray& data, int n);

// PiHash of the pass phrase's 8-bit characters, 32 bytes.
TCipherKey DeriveKey(const QByteArray& phrase = QByteArray(kKeyPhrase));

// Size of the enciphered form of `plainSize` bytes: 16 * (plainSize / 16 + 2).
inline qsizetype EncipheredSize(qsizetype plainSize) { return 16 * (plainSize / 16 + 2); }

// Encipherment: initialisation block, the full blocks in CBC, then a final
// block carrying the remaining bytes and their count in byte 15.
QByteArray CipherEncrypt(const QByteArray& plain, const TCipherKey& key);
// Throws ECipherException("Invalid file format") for input that is not a
// whole enciphered unit.
QByteArray CipherDecrypt(const QByteArray& cipher, const TCipherKey& key);
// One entry point for both directions (the stream form of the Windows program).
QByteArray CipherStream(const QByteArray& input, const TCipherKey& key, bool encipher);

// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks).
QByteArray Base64Encode(const QByteArray& data);
// Groups of four characters; a character outside codes 43..122 throws
// ECipherException("Invalid Base64 Character").
QByteArray Base64Decode(const QByteArray& text);

// Payloads: Base64 text of the ciphertext.
QByteArray SealMessage(const QByteArray& plain, const TCipherKey& key);
QByteArray OpenMessage(const QByteArray& text, const TCipherKey& key);
// Stream bodies: the buffer is replaced by its enciphered (deciphered) form.
void SealStream(QByteArray& stream, const TCipherKey& key);
void OpenStream(QByteArray& stream, const TCipherKey& key);

// The process-wide random source: SHA-1 digests of changing seed texts, five
// 32-bit values per digest. Safe to call from any thread.
class TSha1HashRandom {
public:
    TSha1HashRandom();
    virtual ~TSha1HashRandom();
    TSha1HashRandom(const TSha1HashRandom&) = delete;
    TSha1HashRandom& operator=(const TSha1HashRandom&) = delete;

    uint32_t NextRandom();

    // For inspection.
    int64_t Sequence() const;
    QByteArray SeedText() const;

private:
    int64_t FSequence = 0;
    int32_t FReadPos = -1;
    QByteArray FSeedText;
    std::array<uint8_t, 20> FBlock{};
    mutable std::mutex FGuard;
    uint64_t FPrng = 0;   // the pseudo-random generator seeded from the clock
    uint32_t PseudoRandom(uint32_t range);
};

TSha1HashRandom& RandomSource();

} // namespace pm
