// Fuzz target of the file wrapper's signature support: arbitrary bytes as a
// native file. The live sections are hashed (SHA-256) twice with the same
// value; a signature section is then made for a member, filled and read back
// as written, and the hash of the file must be the one it had before, since
// signature sections are not hashed and nothing live was changed. The
// library is loaded and released around each input. Seeds: the native-file
// target's (fuzz/native_file_seeds.py).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/core.h"
#include "files/files.h"
#include "fuzz/input_file.h"
#include "fuzz/library.h"
#include "platform/crypt.h"

namespace {

void check(bool fact) {
  if (!fact) std::abort();
}

const fuzz::InputFile& input_file() {
  static const fuzz::InputFile file("signed_file", ".spg");
  return file;
}

std::u16string input_path() {
  const std::string& path = input_file().path();
  return std::u16string(path.begin(), path.end());
}

// The file's hash, or "" when it cannot be had.
std::string hash_of(HCRYPTPROV provider, int32_t member) {
  HCRYPTHASH hash = 0;
  check(CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash) != 0);
  std::string value(32, '\0');
  DWORD length = 32;
  const bool hashed = CApFile::HashFile(hash, input_path(), member) == 0;
  check(CryptGetHashParam(hash, HP_HASHVAL, reinterpret_cast<BYTE*>(value.data()), &length, 0) != 0);
  check(CryptDestroyHash(hash) != 0);
  return hashed ? value : "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  input_file().write(data, size);
  check(fuzz::load_library());
  HCRYPTPROV provider = 0;
  check(CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) != 0);
  const int32_t member = size > 0 ? static_cast<int32_t>(data[size - 1] % 4) - 1 : -1;
  const std::string before = hash_of(provider, member);
  check(hash_of(provider, member) == before);
  if (!before.empty()) {
    const std::string signature(1024, static_cast<char>(size));
    bool signed_file = false;
    {
      CApFile wrapper;
      if (wrapper.CreateSignatureBlock(input_path(), member) == 0) {
        uint32_t written = 0;
        signed_file = wrapper.Write(signature.data(), 1024, &written) && wrapper.CloseNative() == 0;
      }
    }
    if (signed_file) {
      CApFile reader;
      check(reader.OpenSignatureBlock(input_path(), member) == 0);
      std::string back(1024, '\0');
      uint32_t read = 0;
      check(reader.Read(back.data(), 1024, &read) && back == signature);
      check(reader.CloseNative() == 0);
      check(hash_of(provider, member) == before);
    }
  }
  check(CryptReleaseContext(provider, 0) != 0);
  fuzz::release_library();
  return 0;
}
