#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/crypt.h"
#include "platform/errors.h"

namespace {

std::string hex(const std::vector<BYTE>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (BYTE byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

class Crypt : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(CryptAcquireContextA(&provider_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)); }
  void TearDown() override { EXPECT_TRUE(CryptReleaseContext(provider_, 0)); }

  // The value of the pieces fed one after another.
  std::string digest(ALG_ID algorithm, const std::vector<std::string>& pieces) {
    HCRYPTHASH hash = 0;
    EXPECT_TRUE(CryptCreateHash(provider_, algorithm, 0, 0, &hash));
    for (const std::string& piece : pieces)
      EXPECT_TRUE(CryptHashData(hash, reinterpret_cast<const BYTE*>(piece.data()), static_cast<DWORD>(piece.size()), 0));
    DWORD size = 0;
    EXPECT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, nullptr, &size, 0));
    std::vector<BYTE> value(size);
    EXPECT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, value.data(), &size, 0));
    EXPECT_TRUE(CryptDestroyHash(hash));
    return hex(value);
  }

  HCRYPTPROV provider_ = 0;
};

// The published test vectors of each algorithm ("abc", and the empty text).
TEST_F(Crypt, DigestsAreThePublishedValuesHoweverTheDataIsCut) {
  struct Case {
    ALG_ID algorithm;
    std::vector<std::string> pieces;
    const char* expected;
  };
  const Case cases[] = {
      {CALG_MD5, {"abc"}, "900150983cd24fb0d6963f7d28e17f72"},
      {CALG_MD5, {}, "d41d8cd98f00b204e9800998ecf8427e"},
      {CALG_SHA1, {"a", "", "bc"}, "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {CALG_SHA_256, {"ab", "c"}, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {CALG_SHA_256, {""}, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {CALG_SHA_512, {"abc"},
       "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd"
       "454d4423643ce80e2a9ac94fa54ca49f"},
  };
  for (const Case& c : cases) EXPECT_EQ(digest(c.algorithm, c.pieces), c.expected) << std::hex << c.algorithm;
}

TEST_F(Crypt, TheValueIsReadAgainAndNoDataIsTakenAfterIt) {
  HCRYPTHASH hash = 0;
  ASSERT_TRUE(CryptCreateHash(provider_, CALG_SHA1, 0, 0, &hash));
  DWORD size = 0;
  DWORD length = sizeof size;
  ASSERT_TRUE(CryptGetHashParam(hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&size), &length, 0));
  EXPECT_EQ(size, 20u);
  ALG_ID algorithm = 0;
  length = sizeof algorithm;
  ASSERT_TRUE(CryptGetHashParam(hash, HP_ALGID, reinterpret_cast<BYTE*>(&algorithm), &length, 0));
  EXPECT_EQ(algorithm, CALG_SHA1);
  std::vector<BYTE> small(19), value(20), again(20);
  length = 19;
  EXPECT_FALSE(CryptGetHashParam(hash, HP_HASHVAL, small.data(), &length, 0));
  EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
  EXPECT_EQ(length, 20u);
  ASSERT_TRUE(CryptHashData(hash, reinterpret_cast<const BYTE*>("abc"), 3, 0));  // the short buffer finished nothing
  ASSERT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, value.data(), &length, 0));
  EXPECT_EQ(hex(value), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_FALSE(CryptHashData(hash, reinterpret_cast<const BYTE*>("d"), 1, 0));
  EXPECT_EQ(GetLastError(), NTE_BAD_HASH_STATE);
  ASSERT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, again.data(), &length, 0));
  EXPECT_EQ(again, value);
  EXPECT_TRUE(CryptDestroyHash(hash));
}

TEST_F(Crypt, BadHandlesAlgorithmsAndFlagsAreRefused) {
  HCRYPTHASH hash = 0;
  EXPECT_FALSE(CryptCreateHash(provider_, 0x6610 /* a cipher */, 0, 0, &hash));
  EXPECT_EQ(GetLastError(), NTE_BAD_ALGID);
  EXPECT_FALSE(CryptCreateHash(provider_ + 4, CALG_SHA1, 0, 0, &hash));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  ASSERT_TRUE(CryptCreateHash(provider_, CALG_SHA1, 0, 0, &hash));
  EXPECT_FALSE(CryptHashData(hash, reinterpret_cast<const BYTE*>("a"), 1, 1));
  EXPECT_EQ(GetLastError(), NTE_BAD_FLAGS);
  EXPECT_FALSE(CryptHashData(hash, nullptr, 1, 0));
  EXPECT_TRUE(CryptDestroyHash(hash));
  EXPECT_FALSE(CryptDestroyHash(hash));  // gone
  EXPECT_FALSE(CryptHashData(hash, reinterpret_cast<const BYTE*>("a"), 1, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  HCRYPTPROV other = 0;
  EXPECT_FALSE(CryptAcquireContextA(&other, nullptr, nullptr, 999, CRYPT_VERIFYCONTEXT));
  EXPECT_EQ(GetLastError(), NTE_BAD_PROV_TYPE);
  EXPECT_FALSE(CryptAcquireContextA(&other, "keys", nullptr, PROV_RSA_FULL, 0));
}

}  // namespace
