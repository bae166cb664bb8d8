// The import job as ConvertFile runs it: the source and target-folder
// checks before the reader is created, the probe file that goes again,
// targets too long for the fields that carry them, and trace counts no
// document gives.
#include <filesystem>

#include "apcomlib/spectrum/spectrum.h"
#include "converter/filecnvt.h"
#include "converter_support.h"
#include "module_fixture.h"

namespace convertertest {
namespace {

namespace fs = std::filesystem;

uint16_t created_spectra() {
  uint16_t created = 0;
  APX_GetAPClassInfo(AP7_CLASS_ID, nullptr, &created, nullptr);
  return created;
}

class Convert : public AttachedModule {
 protected:
  void SetUp() override {
    AttachedModule::SetUp();
    CoInitialize(nullptr);
    out_ = testsupport::home() + "/out";
    fs::create_directories(out_);
    ASSERT_EQ(converter::CreateFileCnvt(IID_IFileCnvt, reinterpret_cast<void**>(converter_.out())), S_OK);
  }
  void TearDown() override {
    converter_.reset();
    CoUninitialize();
    AttachedModule::TearDown();
  }

  static void register_reader(const char* module) { ASSERT_EQ(call_export(module, "DllRegisterServer"), S_OK); }

  HRESULT convert(const std::string& source, const std::string& target) {
    return converter_->ConvertFile(text(source).get(), text(u"GAML").get(), text(target).get(),
                                   text(u"KOV_TLVO").get(), text(u"").get());
  }

  std::string one_trace() const {
    return write_gaml("one.gaml", experiment({gamlwriter::Trace{"one", {}, {element(4000, 400, {1, 2, 3})}}}));
  }
  std::string three_traces() const {
    std::vector<gamlwriter::Trace> traces;
    for (const char* name : {"first", "second", "third"})
      traces.push_back(gamlwriter::Trace{name, {}, {element(4000, 400, {1, 2, 3})}});
    return write_gaml("three.gaml", experiment(traces));
  }

  std::string out_;
  ComRef<IFileCnvt> converter_;
};

// The reader is not registered: a job that passes its checks answers
// REGDB_E_CLASSNOTREG when it creates the reader.
TEST_F(Convert, TheSourceAndTheTargetFolderAreCheckedBeforeTheReader) {
  const std::string source = one_trace();
  EXPECT_EQ(convert(source, out_ + "/one.spa"), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(convert(testsupport::home() + "/none.gaml", out_ + "/one.spa"), E_FAIL);
  EXPECT_EQ(convert(out_, out_ + "/one.spa"), E_FAIL);  // a folder is no source
  EXPECT_EQ(convert(source, out_ + "/missing/one.spa"), E_FAIL);
  EXPECT_EQ(convert(source, "one.spa"), E_FAIL);  // neither drive nor folder
  EXPECT_EQ(convert(source, out_ + "\\one.spa"), REGDB_E_CLASSNOTREG);
  EXPECT_TRUE(fs::is_empty(out_));  // no probe file stays behind
}

TEST_F(Convert, ADriveRootPassesWhenItsFirstEntryIsAFolder) {
  const std::string source = one_trace();
  fs::create_directories(testsupport::home() + "/drive_q/data");
  EXPECT_EQ(convert(source, "Q:\\one.spa"), REGDB_E_CLASSNOTREG);
  fs::create_directories(testsupport::home() + "/drive_r");
  testsupport::write_file("drive_r/file.txt", "x");
  EXPECT_EQ(convert(source, "R:\\one.spa"), E_FAIL);
}

TEST_F(Convert, AReaderThatCannotLoadTheDocumentGivesItsFailure) {
  register_reader(GAMLREADER_MODULE);
  const std::string broken = testsupport::write_file("broken.gaml", "<GAML version=\"1.20\"><experiment>");
  EXPECT_EQ(convert(broken, out_ + "/broken.spa"), E_FAIL);
  EXPECT_TRUE(fs::is_empty(out_));
}

TEST_F(Convert, ATargetTooLongForThePathFieldFailsBeforeAnyTraceIsRead) {
  register_reader(GAMLREADER_MODULE);
  const std::string source = one_trace();
  std::string target = out_ + "/";
  target += std::string(260 - target.size() - 4, 'n') + ".spa";  // 260 characters
  ASSERT_EQ(target.size(), 260u);
  const uint16_t before = created_spectra();
  EXPECT_EQ(convert(source, target), E_FAIL);
  EXPECT_EQ(created_spectra(), before);
  EXPECT_TRUE(fs::is_empty(out_));
}

TEST_F(Convert, AGroupTargetTooLongForTheTitleFailsBeforeAnyTraceIsRead) {
  register_reader(GAMLREADER_MODULE);
  const std::string source = three_traces();
  std::string target = out_ + "/";
  target += std::string(257 - target.size() - 4, 'n') + ".spg";  // 257 characters
  const uint16_t before = created_spectra();
  EXPECT_EQ(convert(source, target), E_FAIL);
  EXPECT_EQ(created_spectra(), before);
  EXPECT_TRUE(fs::is_empty(out_));
}

TEST_F(Convert, ANegativeTraceCountIsRefused) {
  register_reader(NEGATIVE_READER_MODULE);
  const uint16_t before = created_spectra();
  EXPECT_EQ(convert(one_trace(), out_ + "/negative.spg"), E_FAIL);
  EXPECT_EQ(created_spectra(), before);
  EXPECT_TRUE(fs::is_empty(out_));
}

}  // namespace
}  // namespace convertertest
