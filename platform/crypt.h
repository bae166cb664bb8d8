// CryptoAPI hashing, over OpenSSL's libcrypto: a provider context, hash
// objects of the MD5 and SHA families fed with bytes, and the finished value.
//
// A provider is acquired with CRYPT_VERIFYCONTEXT only (there is no key
// store). The hash value may be read any number of times; once read, the
// object takes no more data, as on Windows. Handles are checked against the
// live ones: a stale or made-up handle fails with ERROR_INVALID_HANDLE.
#pragma once
#include "platform/wintypes.h"

using HCRYPTPROV = UINT_PTR;
using HCRYPTHASH = UINT_PTR;
using HCRYPTKEY = UINT_PTR;
using ALG_ID = UINT;

constexpr DWORD PROV_RSA_FULL = 1;
constexpr DWORD PROV_RSA_AES = 24;
constexpr DWORD CRYPT_VERIFYCONTEXT = 0xF0000000;

constexpr ALG_ID CALG_MD5 = 0x8003;
constexpr ALG_ID CALG_SHA1 = 0x8004;
constexpr ALG_ID CALG_SHA_256 = 0x800C;
constexpr ALG_ID CALG_SHA_384 = 0x800D;
constexpr ALG_ID CALG_SHA_512 = 0x800E;

// CryptGetHashParam.
constexpr DWORD HP_ALGID = 0x0001;
constexpr DWORD HP_HASHVAL = 0x0002;
constexpr DWORD HP_HASHSIZE = 0x0004;

constexpr DWORD NTE_BAD_HASH = 0x80090002;
constexpr DWORD NTE_BAD_ALGID = 0x80090008;
constexpr DWORD NTE_BAD_FLAGS = 0x80090009;
constexpr DWORD NTE_BAD_TYPE = 0x8009000A;
constexpr DWORD NTE_BAD_HASH_STATE = 0x8009000C;
constexpr DWORD NTE_BAD_PROV_TYPE = 0x80090014;
constexpr DWORD NTE_BAD_KEYSET_PARAM = 0x8009001F;

BOOL CryptAcquireContextA(HCRYPTPROV* provider, LPCSTR container, LPCSTR provider_name, DWORD type, DWORD flags);
BOOL CryptReleaseContext(HCRYPTPROV provider, DWORD flags);
// `key` must be 0: keyed hashes are not offered.
BOOL CryptCreateHash(HCRYPTPROV provider, ALG_ID algorithm, HCRYPTKEY key, DWORD flags, HCRYPTHASH* hash);
BOOL CryptHashData(HCRYPTHASH hash, const BYTE* data, DWORD length, DWORD flags);
// HP_HASHVAL finishes the hash; `length` gives the buffer's size and takes
// the value's (a null buffer asks for the size only).
BOOL CryptGetHashParam(HCRYPTHASH hash, DWORD parameter, BYTE* data, DWORD* length, DWORD flags);
BOOL CryptDestroyHash(HCRYPTHASH hash);
