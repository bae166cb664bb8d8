// The export converter's failures: a refused format pair, an input that is
// not a native file, a target folder that does not exist and a write that
// fails part way each give a failure and leave the output as it was, with
// no temporary file behind.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "gamlwriter/export_fixture.h"

namespace exporttest {
namespace {

constexpr char kOldBytes[] = "the file that was there";

TEST_F(GamlExport, AFailedExportLeavesTheOutputAsItWas) {
  const std::string group = save_group("group.spg", {spectrum("a", {1.0f, 2.0f})});
  const std::string text_file = testsupport::write_file("notes.txt", "not a spectral file");
  struct Case {
    const char* what;
    std::string input, from, output, to;
    HRESULT result;
  };
  const std::string output = path("out.gaml");
  const Case cases[] = {
      {"formats the other way", group, "GAML", output, "KOV_TLVO", E_INVALIDARG},
      {"unknown output format", group, "KOV_TLVO", output, "JCAMP", E_INVALIDARG},
      {"no input name", "", "KOV_TLVO", output, "GAML", E_INVALIDARG},
      {"no input", path("missing.spg"), "KOV_TLVO", output, "GAML", E_FAIL},
      {"input not native", text_file, "KOV_TLVO", output, "GAML", E_FAIL},
      {"no target folder", group, "KOV_TLVO", path("no/such/out.gaml"), "GAML", E_FAIL},
  };
  for (const Case& c : cases) {
    testsupport::write_file("out.gaml", kOldBytes);
    EXPECT_EQ(export_gaml(c.input, c.output, c.from, c.to), c.result) << c.what;
    EXPECT_EQ(testsupport::read_file(output), kOldBytes) << c.what;
    EXPECT_TRUE(files_named(testsupport::home(), "~gw").empty()) << c.what;
  }
  EXPECT_FALSE(std::filesystem::exists(path("no")));
  // Letter case does not matter in the format codes.
  EXPECT_EQ(export_gaml(group, output, "kov_tlvo", "gaml"), S_OK);
  EXPECT_NE(testsupport::read_file(output), kOldBytes);
}

// Runs `work` in a child process whose files may not grow beyond `limit`
// bytes; its result is the child's exit status, or -1 when the limit is not
// enforced where the tests run.
template <class Work>
int with_file_size_limit(rlim_t limit, Work work) {
  const pid_t child = fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit fails instead of ending the process
    rlimit capped{limit, limit};
    if (setrlimit(RLIMIT_FSIZE, &capped) != 0) _exit(255);
    _exit(work());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) != 255 ? WEXITSTATUS(status) : -1;
}

constexpr rlim_t kBetweenTheSizes = 100 * 1024;

class WriteFailures : public GamlExport {
 protected:
  // Ten members of 2,000 points: about 80 KB as a native file and more
  // than 100 KB as GAML.
  static std::vector<AP7_SPECTRUM*> sizeable_group() {
    std::vector<AP7_SPECTRUM*> spectra;
    for (int m = 0; m < 10; ++m) spectra.push_back(spectrum("member", std::vector<float>(2000, 0.5f + m)));
    return spectra;
  }
};

TEST_F(WriteFailures, AWriteThatFailsPartWayLeavesTheOutputAsItWas) {
  const std::string group = save_group("group.spg", sizeable_group());
  ASSERT_LT(std::filesystem::file_size(group), kBetweenTheSizes);
  testsupport::write_file("out.gaml", kOldBytes);
  const int result = with_file_size_limit(kBetweenTheSizes, [&] {
    return export_gaml(group, path("out.gaml")) == E_FAIL ? 0 : 1;
  });
  if (result == -1) GTEST_SKIP() << "file size limits are not enforced here";
  EXPECT_EQ(result, 0);
  EXPECT_EQ(testsupport::read_file(path("out.gaml")), kOldBytes);
  EXPECT_TRUE(files_named(testsupport::home(), "~gw").empty());
}

// The group-file class: a group saved under a ".GAML" name whose export
// fails is not saved, keeps error 400 and leaves no file at all.
TEST_F(WriteFailures, AGroupWhoseExportFailsLeavesNoFile) {
  AP40_LLIST* list = make_list();
  for (AP7_SPECTRUM* spectrum : sizeable_group()) add(list, spectrum);
  const int result = with_file_size_limit(kBetweenTheSizes, [&] {
    AP51_GROUP_FILE* group_file = named_group_file(path("group.GAML"));
    if (open(group_file, AP20_MODE_CREATE, AP52_CLASS_ID).result != 1) return 1;
    const uint32_t saved = send(AP51_MSG_SAVE_GROUP, group_file, list);
    const uint32_t error = send(AP20_MSG_LAST_ERROR, group_file);
    if (!saved) send(AP21_MSG_DELETE, group_file);
    return saved == 0 && error == AP20_ERROR_GAML_EXPORT ? 0 : 2;
  });
  if (result == -1) GTEST_SKIP() << "file size limits are not enforced here";
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(std::filesystem::exists(path("group.GAML")));
  EXPECT_TRUE(files_named(testsupport::home(), "~gw").empty());
  EXPECT_TRUE(files_named(testsupport::home() + "/temp", "~tv").empty());
}

}  // namespace
}  // namespace exporttest
