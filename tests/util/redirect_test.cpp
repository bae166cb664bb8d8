#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_home.h"
#include "util/util.h"

namespace {

// A host's file-access object that records what it is asked and opens files
// through the system, so that its handles are real.
class RecordingRedirection : public IVlRedirectFileAccess {
 public:
  HRESULT QueryInterface(REFIID, void** object) override {
    if (object != nullptr) *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++references; }
  ULONG Release() override { return --references; }
  HANDLE CreateFile(LPCSTR name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security, DWORD disposition,
                    DWORD flags, HANDLE template_file) override {
    opened.push_back(name);
    return CreateFileA(name, access, share, security, disposition, flags, template_file);
  }
  BOOL CloseHandle(HANDLE file) override {
    ++closed;
    return ::CloseHandle(file);
  }

  ULONG references = 1;  // the host's own
  std::vector<std::string> opened;
  int closed = 0;
};

// Each test turns redirection off before its host object goes out of scope.
class FileRedirection : public testing::Test {
 protected:

  static HANDLE open_existing(const std::string& path) {
    return APX_RedirectCreateFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  }
};

TEST_F(FileRedirection, WithoutAnObjectFilesOpenAndCloseThroughTheSystem) {
  const std::string path = testsupport::write_file("plain.bin", "abc");
  HANDLE file = open_existing(path);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char got[3];
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(file, got, 3, &read, nullptr));
  EXPECT_EQ(read, 3u);
  EXPECT_TRUE(APX_RedirectCloseHandle(file));
  EXPECT_FALSE(APX_RedirectCloseHandle(file));
  EXPECT_EQ(open_existing(testsupport::home() + "/missing.bin"), INVALID_HANDLE_VALUE);
}

TEST_F(FileRedirection, AnInstalledObjectOpensAndClosesEveryFile) {
  RecordingRedirection host;
  EXPECT_EQ(APX_TurnonFileRedirection(&host), 1);
  const std::string path = testsupport::write_file("routed.bin", "abc");
  HANDLE file = open_existing(path);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(host.opened, std::vector<std::string>{path});
  EXPECT_TRUE(APX_RedirectCloseHandle(file));
  EXPECT_EQ(host.closed, 1);
  APX_TurnonFileRedirection(nullptr);
}

TEST_F(FileRedirection, InstallingHoldsOneReferenceUntilTheNextInstall) {
  RecordingRedirection first, second;
  APX_TurnonFileRedirection(&first);
  EXPECT_EQ(first.references, 2u);
  APX_TurnonFileRedirection(&second);
  EXPECT_EQ(first.references, 1u);
  EXPECT_EQ(second.references, 2u);
  APX_TurnonFileRedirection(&second);  // the same object again: released once, added once
  EXPECT_EQ(second.references, 2u);
  APX_TurnonFileRedirection(nullptr);
  EXPECT_EQ(second.references, 1u);
  const std::string path = testsupport::write_file("after.bin", "x");
  HANDLE file = open_existing(path);
  EXPECT_TRUE(second.opened.empty());
  EXPECT_TRUE(APX_RedirectCloseHandle(file));
}

}  // namespace
