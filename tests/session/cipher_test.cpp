#include "session/cipher.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <QSet>
#include <thread>
#include <vector>

using namespace pm;

namespace {

QByteArray Bytes(int n, int start = 0)
{
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char((start + i) & 0xff));
    return b;
}

TCipherKey TestKey()
{
    return DeriveKey();
}

} // namespace

TEST(SessionCipher, PiHashVectors)
{
    EXPECT_EQ(PiHash("abc", 32).toHex(),
              "2aa17baa76a4c4cd4b73a5f934b4cc1a6492b853fc94eb88eeb34e7ce128867b");
    QByteArray wrap = Bytes(256) + Bytes(44);
    ASSERT_EQ(wrap.size(), 300);
    EXPECT_EQ(PiHash(wrap, 32).toHex(),
              "8a3bd2092b82e6cd309656451c690379d8542f7d19ecae0b6d08a17a75b14273");
    EXPECT_EQ(PiHash("abc", 1000).size(), 256);
    EXPECT_EQ(PiHash("abc", 1000).left(32), PiHash("abc", 32));
    // The key is the 32-byte digest of the pass phrase.
    const TCipherKey key = DeriveKey();
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(key.data()), 32), PiHash("Marchpane VORSK 4861", 32));
}

TEST(SessionCipher, EncipheredSizesAndRoundTrips)
{
    const TCipherKey key = TestKey();
    const struct { int plain; int cipher; } cases[] = {{0, 32}, {1, 32}, {15, 32}, {16, 48}, {17, 48}, {63, 80}, {64, 96}, {4000, 4032}};
    for (const auto& c : cases) {
        const QByteArray plain = Bytes(c.plain, 7);
        const QByteArray a = CipherEncrypt(plain, key);
        const QByteArray b = CipherEncrypt(plain, key);
        EXPECT_EQ(a.size(), c.cipher) << c.plain;
        EXPECT_EQ(CipherDecrypt(a, key), plain) << c.plain;
        EXPECT_EQ(CipherDecrypt(b, key), plain) << c.plain;
        EXPECT_NE(a.left(16), b.left(16)) << "initialisation blocks repeat for " << c.plain;
    }
    EXPECT_EQ(SealMessage(Bytes(2), key).size(), 44);
    EXPECT_EQ(SealMessage(Bytes(4), key).size(), 44);
    EXPECT_EQ(SealMessage(Bytes(63), key).size(), 108);
    EXPECT_EQ(SealMessage(Bytes(217), key).size(), 320);
    EXPECT_EQ(SealMessage(Bytes(256), key).size(), 384);
    EXPECT_EQ(OpenMessage(SealMessage(Bytes(256), key), key), Bytes(256));

    QByteArray stream = Bytes(100000, 3);
    SealStream(stream, key);
    EXPECT_EQ(stream.size(), EncipheredSize(100000));
    OpenStream(stream, key);
    EXPECT_EQ(stream, Bytes(100000, 3));
}

TEST(SessionCipher, CiphertextIsAesCbcOverTheCountedFinalBlock)
{
    // Deciphered independently with plain AES-256-CBC, the unit shows the
    // full blocks, then the remaining bytes, zeros and their count.
    const TCipherKey key = TestKey();
    const QByteArray plain = Bytes(37, 1);
    const QByteArray c = CipherEncrypt(plain, key);
    ASSERT_EQ(c.size(), 64);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    ASSERT_EQ(EVP_DecryptInit_ex(ctx, EVP_aes_256_cbc(), nullptr, key.data(),
                                 reinterpret_cast<const unsigned char*>(c.constData())), 1);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    QByteArray d(48, 0);
    int n = 0;
    EVP_DecryptUpdate(ctx, reinterpret_cast<unsigned char*>(d.data()), &n,
                      reinterpret_cast<const unsigned char*>(c.constData()) + 16, 48);
    EVP_CIPHER_CTX_free(ctx);
    ASSERT_EQ(n, 48);
    QByteArray expected = plain + QByteArray(10, 0) + QByteArray(1, char(5));
    EXPECT_EQ(d.toHex(), expected.toHex());

    TCipherKey other = key;
    other[0] ^= 0xff;
    const QByteArray big = Bytes(200);
    QByteArray wrong;
    try {
        wrong = CipherDecrypt(CipherEncrypt(big, key), other);
    } catch (const ECipherException&) {
    }
    EXPECT_NE(wrong, big);
}

TEST(SessionCipher, DecipheringRejectsMalformedUnits)
{
    const TCipherKey key = TestKey();
    for (int n : {0, 1, 16, 31, 33, 47}) {
        try {
            CipherDecrypt(QByteArray(n, 'x'), key);
            ADD_FAILURE() << n;
        } catch (const ECipherException& e) {
            EXPECT_EQ(e.Message(), "Invalid file format") << n;
        }
    }
    // A final block counting more than 15 bytes never comes from encipherment.
    bool rejected = false;
    for (int attempt = 0; attempt < 64 && !rejected; ++attempt) {
        QByteArray c = CipherEncrypt(Bytes(5), key);
        c[16 + 5] = char(c[16 + 5] ^ (attempt + 1));   // garbles the final block wholesale
        c[16 + 15] = char(c[16 + 15] ^ 0x5a);
        try {
            CipherDecrypt(c, key);
        } catch (const ECipherException&) {
            rejected = true;
        }
    }
    EXPECT_TRUE(rejected);
}

TEST(SessionCipher, Base64)
{
    const struct { const char* plain; const char* text; } cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}};
    for (const auto& c : cases) {
        EXPECT_EQ(Base64Encode(c.plain), QByteArray(c.text));
        EXPECT_EQ(Base64Decode(c.text), QByteArray(c.plain));
    }
    const QByteArray big = Bytes(1000);
    EXPECT_EQ(Base64Decode(Base64Encode(big)), big);
    EXPECT_FALSE(Base64Encode(big).contains('\n'));
    for (const char* bad : {"Zm9 ", "Zm9\n", "Zm9{", "Zm*v"}) {
        try {
            Base64Decode(bad);
            ADD_FAILURE() << bad;
        } catch (const ECipherException& e) {
            EXPECT_EQ(e.Message(), "Invalid Base64 Character");
        }
    }
    // Inside 43..122 but not in the alphabet: accepted, meaningless bits.
    EXPECT_EQ(Base64Decode("Zm9[").size(), 3);
    EXPECT_THROW(OpenMessage("****", TestKey()), ECipherException);
}

TEST(SessionCipher, RandomSourceRenewsItsDigestEveryFifthValue)
{
    TSha1HashRandom random;
    random.NextRandom();
    const int64_t seq = random.Sequence();
    const QByteArray seed = random.SeedText();
    EXPECT_TRUE(seed.endsWith(QByteArray::number(qint64(seq))));
    for (int i = 0; i < 4; ++i)
        random.NextRandom();
    EXPECT_EQ(random.Sequence(), seq);
    EXPECT_EQ(random.SeedText(), seed);
    random.NextRandom();
    EXPECT_EQ(random.Sequence(), seq + 1);
    EXPECT_TRUE(random.SeedText().endsWith(QByteArray::number(qint64(seq + 1))));
    EXPECT_NE(random.SeedText(), seed);
}

TEST(SessionCipher, RandomSourceIsSafeAcrossThreads)
{
    TSha1HashRandom random;
    std::vector<std::thread> threads;
    std::vector<std::vector<uint32_t>> values(4);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i)
                values[size_t(t)].push_back(random.NextRandom());
        });
    for (auto& t : threads)
        t.join();
    // 2000 values, 400 digests: the sequence advanced once per digest.
    QSet<uint32_t> distinct;
    for (const auto& v : values)
        for (uint32_t x : v)
            distinct.insert(x);
    EXPECT_GT(distinct.size(), 1990);
}
