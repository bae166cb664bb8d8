// CryptoAPI hashing over libcrypto's message digests (see platform/crypt.h).
#include "platform/crypt.h"

#include <openssl/evp.h>

#include <cstring>
#include <new>
#include <set>

#include "platform/errors.h"

namespace {

struct Provider {
  DWORD type;
};

struct Hash {
  ALG_ID algorithm;
  EVP_MD_CTX* context;
  unsigned char value[EVP_MAX_MD_SIZE];
  unsigned int value_size;
  bool finished;
};

std::set<Provider*> g_providers;
std::set<Hash*> g_hashes;

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

const EVP_MD* digest_of(ALG_ID algorithm) {
  switch (algorithm) {
    case CALG_MD5: return EVP_md5();
    case CALG_SHA1: return EVP_sha1();
    case CALG_SHA_256: return EVP_sha256();
    case CALG_SHA_384: return EVP_sha384();
    case CALG_SHA_512: return EVP_sha512();
    default: return nullptr;
  }
}

template <class Record>
Record* live(const std::set<Record*>& table, UINT_PTR handle) {
  auto* record = reinterpret_cast<Record*>(handle);
  return table.count(record) != 0 ? record : nullptr;
}

// The value is taken from the context once; the context cannot go on after.
bool finish(Hash* hash) {
  if (hash->finished) return true;
  if (EVP_DigestFinal_ex(hash->context, hash->value, &hash->value_size) != 1) return false;
  hash->finished = true;
  return true;
}

BOOL copy_out(const void* value, DWORD size, BYTE* data, DWORD* length) {
  const DWORD room = *length;
  *length = size;
  if (data == nullptr) return TRUE;
  if (room < size) return fail(ERROR_MORE_DATA);
  std::memcpy(data, value, size);
  return TRUE;
}

}  // namespace

BOOL CryptAcquireContextA(HCRYPTPROV* provider, LPCSTR container, LPCSTR, DWORD type, DWORD flags) {
  if (provider == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (type != PROV_RSA_FULL && type != PROV_RSA_AES) return fail(NTE_BAD_PROV_TYPE);
  if (flags != CRYPT_VERIFYCONTEXT || (container != nullptr && container[0] != '\0'))
    return fail(NTE_BAD_KEYSET_PARAM);
  auto* record = new (std::nothrow) Provider{type};
  if (record == nullptr) return fail(ERROR_NOT_ENOUGH_MEMORY);
  g_providers.insert(record);
  *provider = reinterpret_cast<HCRYPTPROV>(record);
  return TRUE;
}

BOOL CryptReleaseContext(HCRYPTPROV provider, DWORD flags) {
  Provider* record = live(g_providers, provider);
  if (record == nullptr) return fail(ERROR_INVALID_HANDLE);
  if (flags != 0) return fail(NTE_BAD_FLAGS);
  g_providers.erase(record);
  delete record;
  return TRUE;
}

BOOL CryptCreateHash(HCRYPTPROV provider, ALG_ID algorithm, HCRYPTKEY key, DWORD flags, HCRYPTHASH* hash) {
  if (live(g_providers, provider) == nullptr) return fail(ERROR_INVALID_HANDLE);
  if (hash == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (flags != 0) return fail(NTE_BAD_FLAGS);
  const EVP_MD* digest = digest_of(algorithm);
  if (digest == nullptr || key != 0) return fail(NTE_BAD_ALGID);
  auto* record = new (std::nothrow) Hash{algorithm, EVP_MD_CTX_new(), {}, 0, false};
  if (record == nullptr || record->context == nullptr || EVP_DigestInit_ex(record->context, digest, nullptr) != 1) {
    if (record != nullptr) EVP_MD_CTX_free(record->context);
    delete record;
    return fail(ERROR_NOT_ENOUGH_MEMORY);
  }
  g_hashes.insert(record);
  *hash = reinterpret_cast<HCRYPTHASH>(record);
  return TRUE;
}

BOOL CryptHashData(HCRYPTHASH hash, const BYTE* data, DWORD length, DWORD flags) {
  Hash* record = live(g_hashes, hash);
  if (record == nullptr) return fail(ERROR_INVALID_HANDLE);
  if (flags != 0) return fail(NTE_BAD_FLAGS);
  if (data == nullptr && length != 0) return fail(ERROR_INVALID_PARAMETER);
  if (record->finished) return fail(NTE_BAD_HASH_STATE);
  if (length != 0 && EVP_DigestUpdate(record->context, data, length) != 1) return fail(NTE_BAD_HASH);
  return TRUE;
}

BOOL CryptGetHashParam(HCRYPTHASH hash, DWORD parameter, BYTE* data, DWORD* length, DWORD flags) {
  Hash* record = live(g_hashes, hash);
  if (record == nullptr) return fail(ERROR_INVALID_HANDLE);
  if (length == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (flags != 0) return fail(NTE_BAD_FLAGS);
  const DWORD size = static_cast<DWORD>(EVP_MD_CTX_get_size(record->context));
  switch (parameter) {
    case HP_ALGID: return copy_out(&record->algorithm, sizeof record->algorithm, data, length);
    case HP_HASHSIZE: return copy_out(&size, sizeof size, data, length);
    case HP_HASHVAL:
      if (data != nullptr && *length >= size && !finish(record)) return fail(NTE_BAD_HASH);
      return copy_out(record->value, size, data, length);
    default: return fail(NTE_BAD_TYPE);
  }
}

BOOL CryptDestroyHash(HCRYPTHASH hash) {
  Hash* record = live(g_hashes, hash);
  if (record == nullptr) return fail(ERROR_INVALID_HANDLE);
  g_hashes.erase(record);
  EVP_MD_CTX_free(record->context);
  delete record;
  return TRUE;
}
