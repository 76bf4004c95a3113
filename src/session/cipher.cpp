#include "session/cipher.h"

#include <QDateTime>
#include <QThread>

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <chrono>
#include <cstring>
#include <algorithm>
#include <memory>

namespace pm {

namespace {

// The first 2048 bits of the fractional part of pi, most significant first.
constexpr uint8_t kPiDigest[256] = {
    0x24, 0x3f, 0x6a, 0x88, 0x85, 0xa3, 0x08, 0xd3, 0x13, 0x19, 0x8a, 0x2e, 0x03, 0x70, 0x73, 0x44,
    0xa4, 0x09, 0x38, 0x22, 0x29, 0x9f, 0x31, 0xd0, 0x08, 0x2e, 0xfa, 0x98, 0xec, 0x4e, 0x6c, 0x89,
    0x45, 0x28, 0x21, 0xe6, 0x38, 0xd0, 0x13, 0x77, 0xbe, 0x54, 0x66, 0xcf, 0x34, 0xe9, 0x0c, 0x6c,
    0xc0, 0xac, 0x29, 0xb7, 0xc9, 0x7c, 0x50, 0xdd, 0x3f, 0x84, 0xd5, 0xb5, 0xb5, 0x47, 0x09, 0x17,
    0x92, 0x16, 0xd5, 0xd9, 0x89, 0x79, 0xfb, 0x1b, 0xd1, 0x31, 0x0b, 0xa6, 0x98, 0xdf, 0xb5, 0xac,
    0x2f, 0xfd, 0x72, 0xdb, 0xd0, 0x1a, 0xdf, 0xb7, 0xb8, 0xe1, 0xaf, 0xed, 0x6a, 0x26, 0x7e, 0x96,
    0xba, 0x7c, 0x90, 0x45, 0xf1, 0x2c, 0x7f, 0x99, 0x24, 0xa1, 0x99, 0x47, 0xb3, 0x91, 0x6c, 0xf7,
    0x08, 0x01, 0xf2, 0xe2, 0x85, 0x8e, 0xfc, 0x16, 0x63, 0x69, 0x20, 0xd8, 0x71, 0x57, 0x4e, 0x69,
    0xa4, 0x58, 0xfe, 0xa3, 0xf4, 0x93, 0x3d, 0x7e, 0x0d, 0x95, 0x74, 0x8f, 0x72, 0x8e, 0xb6, 0x58,
    0x71, 0x8b, 0xcd, 0x58, 0x82, 0x15, 0x4a, 0xee, 0x7b, 0x54, 0xa4, 0x1d, 0xc2, 0x5a, 0x59, 0xb5,
    0x9c, 0x30, 0xd5, 0x39, 0x2a, 0xf2, 0x60, 0x13, 0xc5, 0xd1, 0xb0, 0x23, 0x28, 0x60, 0x85, 0xf0,
    0xca, 0x41, 0x79, 0x18, 0xb8, 0xdb, 0x38, 0xef, 0x8e, 0x79, 0xdc, 0xb0, 0x60, 0x3a, 0x18, 0x0e,
    0x6c, 0x9e, 0x0e, 0x8b, 0xb0, 0x1e, 0x8a, 0x3e, 0xd7, 0x15, 0x77, 0xc1, 0xbd, 0x31, 0x4b, 0x27,
    0x78, 0xaf, 0x2f, 0xda, 0x55, 0x60, 0x5c, 0x60, 0xe6, 0x55, 0x25, 0xf3, 0xaa, 0x55, 0xab, 0x94,
    0x57, 0x48, 0x98, 0x62, 0x63, 0xe8, 0x14, 0x40, 0x55, 0xca, 0x39, 0x6a, 0x2a, 0xab, 0x10, 0xb6,
    0xb4, 0xcc, 0x5c, 0x34, 0x11, 0x41, 0xe8, 0xce, 0xa1, 0x54, 0x86, 0xaf, 0x7c, 0x72, 0xe9, 0x93,
};

inline uint32_t ReadLE32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void WriteLE32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

[[noreturn]] void InvalidFormat()
{
    throw ECipherException(QStringLiteral("Invalid file format"));
}

struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree>;

CipherCtx NewAesContext(const EVP_CIPHER* cipher, const TCipherKey& key, const uint8_t* iv, bool encrypt)
{
    CipherCtx ctx(EVP_CIPHER_CTX_new());
    if (!ctx || EVP_CipherInit_ex(ctx.get(), cipher, nullptr, key.data(), iv, encrypt ? 1 : 0) != 1)
        throw ECipherException(QStringLiteral("Cipher not available"));
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    return ctx;
}

// Runs whole blocks through an initialised context.
void AesUpdate(EVP_CIPHER_CTX* ctx, const uint8_t* in, uint8_t* out, qsizetype size)
{
    // EVP takes int lengths: feed large inputs in pieces.
    constexpr qsizetype kPiece = qsizetype(1) << 30;
    while (size > 0) {
        const int n = int(std::min(size, kPiece));
        int written = 0;
        if (EVP_CipherUpdate(ctx, out, &written, in, n) != 1 || written != n)
            throw ECipherException(QStringLiteral("Cipher failure"));
        in += n;
        out += n;
        size -= n;
    }
}

} // namespace

void Mix128(uint32_t& aa, uint32_t& bb, uint32_t& cc, uint32_t& dd)
{
    aa += dd; dd += aa; aa ^= aa >> 7;
    bb += aa; aa += bb; bb ^= bb << 13;
    cc += bb; bb += cc; cc ^= cc >> 17;
    dd += cc; cc += dd; dd ^= dd << 9;
    aa += dd; dd += aa; aa ^= aa >> 3;
    bb += aa; aa += bb; bb ^= bb << 7;
    cc += bb; bb += cc; cc ^= dd >> 15;
    dd += cc; cc += dd; dd ^= dd << 11;
}

void MixCipherInit(TMixCipherContext& ctx, const uint8_t key[16], int rounds, bool encrypt)
{
    ctx.encrypt = encrypt;
    ctx.rounds = std::clamp(rounds, 4, 16);
    const uint32_t k0 = ReadLE32(key), k1 = ReadLE32(key + 4), k2 = ReadLE32(key + 8), k3 = ReadLE32(key + 12);
    static constexpr uint32_t kSalts[4] = {0x55555555u, 0xAAAAAAAAu, 0x33333333u, 0xCCCCCCCCu};
    uint32_t words[32];
    int w = 0;
    for (uint32_t s : kSalts) {
        uint32_t a = k0, b = s, c = k1, d = s, e = k2, f = s, g = k3, h = s;
        for (int i = 0; i < 8; ++i) {
            a ^= b << 11; d += a; b += c;
            b ^= c >> 2; e += b; c += d;
            c ^= d << 8; f += c; d += e;
            d ^= e >> 16; g += d; e += f;
            e ^= f << 10; h += e; f += g;
            f ^= g >> 4; a += f; g += h;
            g ^= h << 8; b += g; h += a;
            h ^= a >> 9; c += h; a += b;
        }
        for (uint32_t v : {a, b, c, d, e, f, g, h})
            words[w++] = v;
    }
    for (int r = 0; r < 16; ++r)
        ctx.subkeys[size_t(r)] = {words[2 * r], words[2 * r + 1]};
}

void MixCipherEncryptBlock(const TMixCipherContext& ctx, uint8_t block[16])
{
    uint32_t r0 = ReadLE32(block), r1 = ReadLE32(block + 4);
    uint32_t l0 = ReadLE32(block + 8), l1 = ReadLE32(block + 12);
    for (int r = 0; r < ctx.rounds; ++r) {
        uint32_t aa = r0, bb = ctx.subkeys[size_t(r)][0], cc = r1, dd = ctx.subkeys[size_t(r)][1];
        Mix128(aa, bb, cc, dd);
        std::swap(aa, cc);
        std::swap(bb, dd);
        Mix128(aa, bb, cc, dd);
        const uint32_t w0 = l0 ^ aa ^ bb, w1 = l1 ^ cc ^ dd;
        l0 = r0;
        l1 = r1;
        r0 = w0;
        r1 = w1;
    }
    WriteLE32(block, l0);
    WriteLE32(block + 4, l1);
    WriteLE32(block + 8, r0);
    WriteLE32(block + 12, r1);
}

void PiHashInit(TPiHashContext& ctx)
{
    ctx.digestIndex = 0;
    std::memcpy(ctx.digest.data(), kPiDigest, sizeof kPiDigest);
    ctx.keyIndex = 0;
    for (int i = 0; i < 4; ++i)
        WriteLE32(ctx.key.data() + 4 * i, 0x55555555u);
}

void PiHashUpdate(TPiHashContext& ctx, const uint8_t* data, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        const uint8_t x = data[i];
        ctx.digest[size_t(ctx.digestIndex)] ^= x;
        ctx.digestIndex = (ctx.digestIndex + 1) % 256;
        ctx.key[size_t(ctx.keyIndex)] ^= x;
        if (++ctx.keyIndex == 8) {
            uint32_t aa = ReadLE32(&ctx.key[12]), bb = ReadLE32(&ctx.key[8]);
            uint32_t cc = ReadLE32(&ctx.key[4]), dd = ReadLE32(&ctx.key[0]);
            for (int k = 0; k < 4; ++k)
                Mix128(aa, bb, cc, dd);
            WriteLE32(&ctx.key[0], aa);
            WriteLE32(&ctx.key[4], bb);
            WriteLE32(&ctx.key[8], cc);
            WriteLE32(&ctx.key[12], dd);
            ctx.keyIndex = 0;
        }
    }
}

QByteArray PiHashFinal(TPiHashContext& ctx, int n)
{
    static constexpr uint8_t kFinish[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    PiHashUpdate(ctx, kFinish, size_t(8 - ctx.keyIndex));
    TMixCipherContext mix;
    MixCipherInit(mix, ctx.key.data(), 8);
    for (int b = 0; b < 16; ++b)
        MixCipherEncryptBlock(mix, ctx.digest.data() + 16 * b);
    n = std::clamp(n, 0, 256);
    return QByteArray(reinterpret_cast<const char*>(ctx.digest.data()), n);
}

QByteArray PiHash(const QByteArray& data, int n)
{
    TPiHashContext ctx;
    PiHashInit(ctx);
    PiHashUpdate(ctx, reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()));
    return PiHashFinal(ctx, n);
}

TCipherKey DeriveKey(const QByteArray& phrase)
{
    const QByteArray digest = PiHash(phrase, kCipherKeySize);
    TCipherKey key;
    std::memcpy(key.data(), digest.constData(), key.size());
    return key;
}

QByteArray CipherEncrypt(const QByteArray& plain, const TCipherKey& key)
{
    const qsizetype size = plain.size();
    const qsizetype full = size / 16 * 16;
    const int rest = int(size - full);
    QByteArray out(EncipheredSize(size), Qt::Uninitialized);
    auto* o = reinterpret_cast<uint8_t*>(out.data());

    // Seed block: bytes 0 and 1 from two successive random values; the rest
    // from further values (the receiver never looks at them).
    uint8_t seed[16];
    TSha1HashRandom& random = RandomSource();
    seed[0] = uint8_t(random.NextRandom());
    seed[1] = uint8_t(random.NextRandom());
    for (int i = 2; i < 16; i += 4) {
        const uint32_t v = random.NextRandom();
        for (int j = 0; j < 4 && i + j < 16; ++j)
            seed[i + j] = uint8_t(v >> (8 * j));
    }
    {
        CipherCtx ecb = NewAesContext(EVP_aes_256_ecb(), key, nullptr, true);
        AesUpdate(ecb.get(), seed, o, 16);
    }
    CipherCtx cbc = NewAesContext(EVP_aes_256_cbc(), key, o, true);
    AesUpdate(cbc.get(), reinterpret_cast<const uint8_t*>(plain.constData()), o + 16, full);
    uint8_t last[16] = {};
    if (rest > 0)
        std::memcpy(last, plain.constData() + full, size_t(rest));
    last[15] = uint8_t(rest);
    AesUpdate(cbc.get(), last, o + 16 + full, 16);
    return out;
}

QByteArray CipherDecrypt(const QByteArray& cipher, const TCipherKey& key)
{
    const qsizetype size = cipher.size();
    // A unit is the initialisation block, whole middle blocks and a final
    // block; anything else was not written by an encipherment.
    if (size < 32 || size % 16 != 0)
        InvalidFormat();
    const auto* in = reinterpret_cast<const uint8_t*>(cipher.constData());
    QByteArray out(size - 16, Qt::Uninitialized);
    auto* o = reinterpret_cast<uint8_t*>(out.data());
    CipherCtx cbc = NewAesContext(EVP_aes_256_cbc(), key, in, false);
    AesUpdate(cbc.get(), in + 16, o, size - 16);
    // Byte 15 of the final block counts its meaningful bytes (0 to 15).
    const uint8_t count = o[size - 16 - 1];
    if (count > 15)
        InvalidFormat();
    out.truncate(size - 32 + count);
    return out;
}

QByteArray CipherStream(const QByteArray& input, const TCipherKey& key, bool encipher)
{
    return encipher ? CipherEncrypt(input, key) : CipherDecrypt(input, key);
}

QByteArray Base64Encode(const QByteArray& data)
{
    return data.toBase64();
}

QByteArray Base64Decode(const QByteArray& text)
{
    // Codes 43 ('+') to 122 ('z') are taken; those of them outside the
    // alphabet give meaningless bits, as they always have.
    static const auto kTable = [] {
        std::array<uint8_t, 123> t{};
        const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i)
            t[uint8_t(alphabet[i])] = uint8_t(i);
        return t;
    }();
    const qsizetype groups = text.size() / 4;
    QByteArray out(groups * 3, Qt::Uninitialized);
    char* o = out.data();
    const auto* p = reinterpret_cast<const uint8_t*>(text.constData());
    for (qsizetype g = 0; g < groups; ++g, p += 4) {
        for (int i = 0; i < 4; ++i)
            if (p[i] < 43 || p[i] > 122)
                throw ECipherException(QStringLiteral("Invalid Base64 Character"));
        const uint32_t v = uint32_t(kTable[p[0]]) << 18 | uint32_t(kTable[p[1]]) << 12
                           | uint32_t(kTable[p[2]]) << 6 | uint32_t(kTable[p[3]]);
        *o++ = char(v >> 16);
        if (p[2] == '=')
            continue;
        *o++ = char(v >> 8);
        if (p[3] == '=')
            continue;
        *o++ = char(v);
    }
    // A trailing incomplete group carries no whole byte and is dropped.
    out.truncate(o - out.data());
    return out;
}

QByteArray SealMessage(const QByteArray& plain, const TCipherKey& key)
{
    return Base64Encode(CipherEncrypt(plain, key));
}

QByteArray OpenMessage(const QByteArray& text, const TCipherKey& key)
{
    return CipherDecrypt(Base64Decode(text), key);
}

void SealStream(QByteArray& stream, const TCipherKey& key)
{
    stream = CipherEncrypt(stream, key);
}

void OpenStream(QByteArray& stream, const TCipherKey& key)
{
    stream = CipherDecrypt(stream, key);
}

// ---------------------------------------------------------------------------

TSha1HashRandom::TSha1HashRandom() = default;
TSha1HashRandom::~TSha1HashRandom() = default;

uint32_t TSha1HashRandom::PseudoRandom(uint32_t range)
{
    // splitmix64: enough for seed texts that are hashed anyway.
    FPrng += 0x9E3779B97F4A7C15ull;
    uint64_t z = FPrng;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return range ? uint32_t(z % range) : 0;
}

uint32_t TSha1HashRandom::NextRandom()
{
    std::lock_guard<std::mutex> lock(FGuard);
    if (FReadPos == -1) {
        FPrng = uint64_t(std::chrono::high_resolution_clock::now().time_since_epoch().count());
        FReadPos = 0;
        FSequence = PseudoRandom(65535);
    }
    if (FReadPos == 0) {
        ++FSequence;
        // Now as the platform's date-time value (days since 30 December 1899).
        const double now = double(QDateTime::currentMSecsSinceEpoch()) / 86400000.0 + 25569.0;
        FSeedText = QByteArray::number(now, 'g', 17);
        FSeedText += QByteArray::number(PseudoRandom(2147483647u));
        FSeedText += QByteArray::number(PseudoRandom(2147483647u));
        FSeedText += QByteArray::number(quint64(quintptr(QThread::currentThreadId())));
        FSeedText += QByteArray::number(qint64(FSequence));
        SHA1(reinterpret_cast<const unsigned char*>(FSeedText.constData()), size_t(FSeedText.size()), FBlock.data());
    }
    const uint32_t value = ReadLE32(FBlock.data() + FReadPos);
    FReadPos += 4;
    if (FReadPos == 20)
        FReadPos = 0;
    return value;
}

int64_t TSha1HashRandom::Sequence() const
{
    std::lock_guard<std::mutex> lock(FGuard);
    return FSequence;
}

QByteArray TSha1HashRandom::SeedText() const
{
    std::lock_guard<std::mutex> lock(FGuard);
    return FSeedText;
}

TSha1HashRandom& RandomSource()
{
    static TSha1HashRandom instance;
    return instance;
}

} // namespace pm
