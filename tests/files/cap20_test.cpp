// The file wrapper over a real file object: the members that send the file
// messages, the native open and close, the per-member signature section and
// the hash of a file's live sections, checked against OpenSSL's own digest
// of the section bytes laid out in the test.
#include <openssl/sha.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "files/files_fixture.h"
#include "platform/crypt.h"

namespace {

using filetest::Entry;
using filetest::FileObjects;
using filetest::get_entry;
using filetest::native_file;
using filetest::pattern;
using filetest::Section;

constexpr uint16_t kFree = 1;
constexpr uint16_t kHeader = 2;
constexpr uint16_t kYData = 3;
constexpr uint16_t kExtension = 106;
constexpr uint16_t kReservoir = 113;
constexpr uint16_t kOther = 181;
constexpr uint16_t kSignature = 199;

std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::string sha256(const std::string& bytes) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
  return std::string(reinterpret_cast<char*>(digest), sizeof digest);
}

class FileWrapper : public FileObjects {
 protected:
  void SetUp() override {
    FileObjects::SetUp();
    ASSERT_TRUE(CryptAcquireContextA(&provider_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT));
  }
  void TearDown() override {
    CryptReleaseContext(provider_, 0);
    FileObjects::TearDown();
  }

  // The SHA-256 that HashFile feeds for the file, or "" when it fails.
  std::string hash_of(const std::string& file, int32_t member = -1) {
    HCRYPTHASH hash = 0;
    EXPECT_TRUE(CryptCreateHash(provider_, CALG_SHA_256, 0, 0, &hash));
    std::string value(32, '\0');
    DWORD length = 32;
    const uint16_t result = CApFile::HashFile(hash, wide(file), member);
    EXPECT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, reinterpret_cast<BYTE*>(value.data()), &length, 0));
    CryptDestroyHash(hash);
    return result == 0 ? value : "";
  }

  HCRYPTPROV provider_ = 0;
};

// A reservoir, a free entry and the unsigned sections around three live ones.
std::vector<Section> mixed_sections() {
  return {Section{{kReservoir, 2000, 64, 0, 0}, std::string(64, '\x5A')},
          Section{{kHeader, 560, 140, 0, 0}, pattern(140, 1)},
          Section{{kFree, 700, 32, 0, 0}, pattern(32, 9)},
          Section{{kExtension, 732, 56, 0, 0}, pattern(56, 2)},
          Section{{kSignature, 788, 1024, 0, 0}, pattern(1024, 3)},
          Section{{kYData, 1812, 16, 0, 0}, pattern(16, 4)},
          Section{{kOther, 1828, 8, 0, 0}, pattern(8, 5)}};
}

TEST_F(FileWrapper, TheHashCoversTheLiveSectionsInDirectoryOrder) {
  const std::string file = testsupport::write_file("mixed.spa", native_file(1, 1, mixed_sections()));
  EXPECT_EQ(hash_of(file), sha256(pattern(140, 1) + pattern(56, 2) + pattern(16, 4)));
}

// A compaction drops the free entry and moves the sections: the data and
// so the hash stay.
TEST_F(FileWrapper, TheHashIsStableAcrossCompaction) {
  const std::string file = testsupport::write_file("compact.spa", native_file(1, 1, mixed_sections()));
  const std::string before = hash_of(file);
  {
    CApFile wrapper;
    ASSERT_EQ(wrapper.OpenNative(wide(file), AP20_MSG_OPEN_NATIVE), 0u);
    ASSERT_EQ(send(AP20_MSG_COMPACT, wrapper.GetFile()), 1u);
    EXPECT_EQ(wrapper.CloseNative(), 0u);
  }
  const std::string compacted = testsupport::read_file(file);
  ASSERT_LT(compacted.size(), native_file(1, 1, mixed_sections()).size());
  for (size_t index = 0; index < 6; ++index) EXPECT_NE(get_entry(compacted, index).type, kFree);
  EXPECT_EQ(hash_of(file), before);
  EXPECT_FALSE(before.empty());
}

// Any change of a live section's bytes changes the hash; changes of bytes
// no live section holds do not.
TEST_F(FileWrapper, TheHashChangesWithEveryChangeOfLiveDataOnly) {
  struct Case {
    const char* what;
    size_t section;  // index into mixed_sections()
    size_t byte;
    bool changes;
  };
  const Case cases[] = {
      {"header, first byte", 1, 0, true},       {"extension, last byte", 3, 55, true},
      {"data, middle byte", 5, 7, true},        {"free entry", 2, 3, false},
      {"reservoir", 0, 10, false},              {"signature section", 4, 100, false},
      {"section of type 181", 6, 0, false},
  };
  const std::string original = hash_of(testsupport::write_file("base.spa", native_file(1, 1, mixed_sections())));
  for (const Case& c : cases) {
    std::vector<Section> sections = mixed_sections();
    sections[c.section].bytes[c.byte] = static_cast<char>(sections[c.section].bytes[c.byte] ^ 0x01);
    const std::string changed = hash_of(testsupport::write_file("changed.spa", native_file(1, 1, sections)));
    EXPECT_EQ(changed != original, c.changes) << c.what;
    EXPECT_FALSE(changed.empty()) << c.what;
  }
  // A live section of another length changes it too, though the bytes fed
  // before it are the same.
  std::vector<Section> longer = mixed_sections();
  longer[5] = Section{{kYData, 1812, 16, 0, 0}, pattern(16, 4)};
  longer[5].entry.length = 12;
  EXPECT_NE(hash_of(testsupport::write_file("longer.spa", native_file(1, 1, longer))), original);
}

TEST_F(FileWrapper, AMemberFilterHashesOnlyThatMembersSections) {
  const std::string file = testsupport::write_file(
      "group.spg", native_file(10, 1,
                               {Section{{kHeader, 560, 140, 0, 0}, pattern(140, 1)},
                                Section{{kYData, 700, 8, 0, 0}, pattern(8, 2)},
                                Section{{kHeader, 708, 140, 1, 0}, pattern(140, 3)},
                                Section{{kYData, 848, 8, 1, 0}, pattern(8, 4)},
                                Section{{kSignature, 856, 1024, 1, 0}, pattern(1024, 5)}}));
  EXPECT_EQ(hash_of(file, 1), sha256(pattern(140, 3) + pattern(8, 4)));
  EXPECT_EQ(hash_of(file, 0), sha256(pattern(140, 1) + pattern(8, 2)));
  EXPECT_EQ(hash_of(file, -1), sha256(pattern(140, 1) + pattern(8, 2) + pattern(140, 3) + pattern(8, 4)));
}

TEST_F(FileWrapper, HashingFailsForAnEmptyPathAMissingOrForeignFileAndABadHash) {
  const std::string foreign = testsupport::write_file("foreign.txt", std::string(400, 'x'));
  const std::string native = testsupport::write_file("native.spa", native_file(1, 1, mixed_sections()));
  EXPECT_EQ(hash_of(""), "");
  EXPECT_EQ(hash_of(path("missing.spa")), "");
  EXPECT_EQ(hash_of(foreign), "");
  EXPECT_EQ(CApFile::HashFile(0x1234, wide(native), -1), 1u);
}

// Signing member 2 of a group leaves member 1's signature; signing it again
// frees only its own earlier section.
TEST_F(FileWrapper, ASignatureBlockReplacesOnlyThatMembersEarlierOne) {
  const std::string file = testsupport::write_file(
      "signed.spg", native_file(10, 1,
                                {Section{{kHeader, 560, 140, 1, 0}, pattern(140, 1)},
                                 Section{{kHeader, 700, 140, 2, 0}, pattern(140, 2)}}));
  const std::string signatures[] = {pattern(1024, 11), pattern(1024, 22), pattern(1024, 33)};
  const int32_t members[] = {1, 2, 2};
  for (int step = 0; step < 3; ++step) {
    CApFile wrapper;
    ASSERT_EQ(wrapper.CreateSignatureBlock(wide(file), members[step]), 0u);
    uint32_t written = 0;
    EXPECT_TRUE(wrapper.Write(signatures[step].data(), 1024, &written));
    EXPECT_EQ(wrapper.CloseNative(), 0u);
  }
  const std::string bytes = testsupport::read_file(file);
  int live1 = 0, live2 = 0;
  for (size_t index = 0; index < filetest::get16(bytes, 294); ++index) {
    const Entry entry = get_entry(bytes, index);
    if (entry.type == kSignature) (entry.key2 == 1 ? live1 : live2) += 1;
  }
  EXPECT_EQ(live1, 1);
  EXPECT_EQ(live2, 1);
  const std::pair<int32_t, std::string> expected[] = {{1, signatures[0]}, {2, signatures[2]}};
  for (const auto& [member, signature] : expected) {
    CApFile reader;
    ASSERT_EQ(reader.OpenSignatureBlock(wide(file), member), 0u) << member;
    std::string back(1024, '\0');
    uint32_t read = 0;
    EXPECT_TRUE(reader.Read(back.data(), 1024, &read));
    EXPECT_EQ(back, signature) << member;
  }
  CApFile reader;
  EXPECT_EQ(reader.OpenSignatureBlock(wide(file), 3), 1u);
}

TEST_F(FileWrapper, ANegativeMemberSignsAsMemberZeroAndAMissingFileIsNotSigned) {
  const std::string file = testsupport::write_file("one.spa", native_file(1, 1, {Section{{kHeader, 560, 140, 0, 0}, pattern(140, 1)}}));
  {
    CApFile wrapper;
    ASSERT_EQ(wrapper.CreateSignatureBlock(wide(file), -5), 0u);
    uint32_t position = 0;
    EXPECT_TRUE(wrapper.GetPosition(&position));
    EXPECT_GE(position, 700u);
  }  // closed by the destructor, header and directory written
  CApFile reader;
  EXPECT_EQ(reader.OpenSignatureBlock(wide(file), 0), 0u);
  CApFile other;
  EXPECT_EQ(other.CreateSignatureBlock(wide(path("absent.spa")), 0), 1u);
  EXPECT_FALSE(testsupport::file_exists(path("absent.spa")));
}

TEST_F(FileWrapper, NativeOpenTakesTheFilesTypeAndCloseWritesBackOnlyWhenWriting) {
  const std::string file = testsupport::write_file("typed.spg", native_file(10, 1, {Section{{kHeader, 560, 140, 0, 0}, pattern(140, 1)}}));
  CApFile wrapper;
  EXPECT_EQ(wrapper.OpenNative(wide(file), 104), 1u);  // neither native open
  ASSERT_EQ(wrapper.OpenNative(wide(file), AP20_MSG_OPEN_NATIVE_READ), 0u);
  EXPECT_TRUE(wrapper.IsOpen());
  uint16_t mode = 0;
  EXPECT_TRUE(wrapper.GetOpenMode(&mode));
  EXPECT_EQ(mode, AP20_MODE_READ);
  EXPECT_EQ(wrapper.CloseNative(), 0u);
  EXPECT_FALSE(wrapper.IsOpen());
  EXPECT_EQ(wrapper.OpenNative(wide(path("nothing.spa")), AP20_MSG_OPEN_NATIVE), 1u);
  EXPECT_FALSE(wrapper.IsOpen());
  uint16_t type = 0;
  EXPECT_TRUE(wrapper.FormatTest(wide(file), &type));
  EXPECT_EQ(type, 10u);
  EXPECT_FALSE(wrapper.FormatTest(wide(path("nothing.spa")), &type));
}

TEST_F(FileWrapper, MembersSendTheFileMessages) {
  const std::string name = path("plain.bin");
  CApFile wrapper;
  std::u16string text;
  EXPECT_TRUE(wrapper.GetClassName(text));
  EXPECT_EQ(text, u"AP20_FILE");
  uint32_t size = 0;
  EXPECT_TRUE(wrapper.GetSize(&size));
  EXPECT_EQ(size, sizeof(AP20_FILE) + sizeof(AP2_OBJECT));  // with its root part
  EXPECT_TRUE(wrapper.SetUserWord(3));
  EXPECT_TRUE(wrapper.SetName(wide(name)));
  EXPECT_TRUE(wrapper.GetName(text));
  EXPECT_EQ(text, wide(name));
  EXPECT_FALSE(wrapper.Exists());
  ASSERT_TRUE(wrapper.Open(AP20_MODE_CREATE));
  uint32_t transferred = 0;
  EXPECT_TRUE(wrapper.Write("abcdefgh", 8, &transferred));
  EXPECT_EQ(transferred, 8u);
  EXPECT_TRUE(wrapper.Seek(2, FILE_BEGIN));
  uint32_t position = 0;
  EXPECT_TRUE(wrapper.GetPosition(&position));
  EXPECT_EQ(position, 2u);
  EXPECT_TRUE(wrapper.Truncate());
  EXPECT_TRUE(wrapper.GetFileSize(&size));
  EXPECT_EQ(size, 2u);
  EXPECT_TRUE(wrapper.Rewind());
  char buffer[8] = {};
  EXPECT_FALSE(wrapper.Read(buffer, 8, &transferred));  // only two there
  EXPECT_EQ(transferred, 2u);
  EXPECT_EQ(std::string(buffer, 2), "ab");
  EXPECT_TRUE(wrapper.SeekToEnd());
  EXPECT_TRUE(wrapper.Close());
  EXPECT_TRUE(wrapper.Exists());
  EXPECT_TRUE(wrapper.Rename(wide(path("renamed.bin"))));
  EXPECT_TRUE(testsupport::file_exists(path("renamed.bin")));
  std::u16string drive, directory, base, extension;
  EXPECT_TRUE(wrapper.SplitName(&drive, &directory, &base, &extension));
  EXPECT_EQ(base, u"renamed");
  EXPECT_EQ(extension, u".bin");
  EXPECT_EQ(directory, wide(testsupport::home() + "/"));
  EXPECT_TRUE(wrapper.SetError(77));
  uint32_t code = 0;
  EXPECT_TRUE(wrapper.GetLastError(&code));
  EXPECT_EQ(code, 77u);
  int32_t class_error = -1;
  EXPECT_TRUE(wrapper.GetClassError(&class_error));
  EXPECT_TRUE(wrapper.Delete());
  EXPECT_FALSE(testsupport::file_exists(path("renamed.bin")));
  EXPECT_FALSE(wrapper.SetName(u"/" + std::u16string(300, u'n')));  // beyond 255 characters
}

TEST_F(FileWrapper, ChangesDependentsReserveAndCompare) {
  CApFile first, second;
  EXPECT_TRUE(first.BeginChange());
  EXPECT_TRUE(first.EndChange());
  int16_t state = -1;
  EXPECT_TRUE(first.GetChangeState(&state));
  EXPECT_EQ(state, AP2_CHANGED);
  HWND window = reinterpret_cast<HWND>(0x4321);
  EXPECT_TRUE(first.AddDependentWindow(window, AP2_KIND_NOTIFY_CHANGE));
  EXPECT_TRUE(first.RemoveDependent(window));
  const std::string a = testsupport::write_file("a.bin", "same-then-x");
  const std::string b = testsupport::write_file("b.bin", "same-then-y");
  ASSERT_TRUE(first.SetName(wide(a)) && first.Open(AP20_MODE_READWRITE));
  ASSERT_TRUE(second.SetName(wide(b)) && second.Open(AP20_MODE_READ));
  uint32_t position = 0;
  EXPECT_FALSE(first.Compare(second, &position));
  EXPECT_EQ(position, 11u);  // just after the eleventh byte, the first that differs
  const std::string c = testsupport::write_file("c.bin", "same-then-x");
  CApFile same;
  ASSERT_TRUE(same.SetName(wide(c)) && same.Open(AP20_MODE_READ));
  EXPECT_TRUE(first.Compare(same, nullptr));
  EXPECT_TRUE(first.Reopen(AP20_MODE_READ));
  uint16_t mode = 0;
  EXPECT_TRUE(first.GetOpenMode(&mode));
  EXPECT_EQ(mode, AP20_MODE_READ);
  EXPECT_TRUE(first.Close());
  CApFile reserved;
  ASSERT_TRUE(reserved.SetName(wide(path("reserved.bin"))));
  EXPECT_TRUE(reserved.Reserve(4096, false));
  uint32_t size = 0;
  ASSERT_TRUE(reserved.Open(AP20_MODE_READ));
  EXPECT_TRUE(reserved.GetFileSize(&size));
  EXPECT_EQ(size, 4096u);
}

TEST_F(FileWrapper, ACopyHasAFileObjectOfItsOwn) {
  CApFile original;
  ASSERT_TRUE(original.SetName(wide(path("orig.bin"))));
  CApFile copy(original);
  ASSERT_NE(copy.GetFile(), nullptr);
  EXPECT_NE(copy.GetFile(), original.GetFile());
  CApFile assigned;
  assigned = original;
  ASSERT_NE(assigned.GetFile(), nullptr);
  EXPECT_NE(assigned.GetFile(), original.GetFile());
  EXPECT_NE(assigned.GetFile(), copy.GetFile());
  assigned = assigned;
  EXPECT_NE(assigned.GetFile(), nullptr);
}

TEST_F(FileWrapper, StaticMembersFindFilesAndMakeFolders) {
  const std::string folder = path("made/deeper");
  EXPECT_FALSE(CApFile::DirectoryExists(wide(folder)));
  EXPECT_TRUE(CApFile::MakeDirectories(wide(folder)));
  EXPECT_TRUE(CApFile::DirectoryExists(wide(folder)));
  testsupport::write_file("made/deeper/one.spa", "1");
  testsupport::write_file("made/deeper/two.spa", "2");
  GU4_FINDDATA found{};
  ASSERT_TRUE(CApFile::FindFirst(wide(folder + "/*.spa"), &found));
  EXPECT_STREQ(found.name, "one.spa");
  ASSERT_TRUE(CApFile::FindNext(&found));
  EXPECT_STREQ(found.name, "two.spa");
  EXPECT_FALSE(CApFile::FindNext(&found));
  EXPECT_TRUE(CApFile::FindClose());
}

}  // namespace
