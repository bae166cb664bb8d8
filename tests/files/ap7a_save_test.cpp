#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include "files/spectrum_files_fixture.h"
#include "platform/modules.h"

namespace {

using spfiletest::SpectrumFiles;

using SignCallsFn = int32_t (*)(int32_t, uint32_t*, uint32_t*, uint32_t*);
using SignedTextFn = const char* (*)(int32_t, int32_t);

// An object of a test class that answers nothing, not even being marked
// saved: in place of a spectrum's (empty) list it stands for a part whose
// bookkeeping fails.
constexpr uint16_t kStubbornClass = 215;
struct Stubborn {
  uint16_t class_id = kStubbornClass;
};
uint32_t stubborn_dispatcher(void*, uint16_t, void*) { return 0; }

class SaveSigned : public SpectrumFiles {
 protected:
  void SetUp() override {
    SpectrumFiles::SetUp();
    GU2_ImmedSetDispatcher(kStubbornClass, stubborn_dispatcher);
  }
  void TearDown() override {
    // The signature library stays loaded for the process, as the save keeps
    // its entry point; only the host's table of modules is put back.
    while (HINSTANCE instance = GU4_GetDLLInst(AP7_SIGNATURE_LIBRARY)) GU4_RemoveDLLInst(instance);
    while (HINSTANCE instance = GU4_GetDLLInst("talvo32.exe")) GU4_RemoveDLLInst(instance);
    GU2_ImmedSetDispatcher(kStubbornClass, nullptr);
    SpectrumFiles::TearDown();
  }

  // The host of a workstation that offers signatures: its program and the
  // signature library it has loaded (the stand-in of the tests).
  void offer_signatures() {
    const std::string system = testsupport::home() + "/windows/system";
    std::filesystem::create_directories(system);
    std::filesystem::copy_file(SIGNATURE_MODULE, system + "/talvo_cr.so",
                               std::filesystem::copy_options::overwrite_existing);
    library_ = LoadLibraryA(AP7_SIGNATURE_LIBRARY);
    ASSERT_NE(library_, nullptr);
    ASSERT_EQ(GU4_AddDLLInst(AP7_SIGNATURE_LIBRARY, library_, 0), 1);
    ASSERT_EQ(GU4_AddDLLInst("talvo32.exe", GetModuleHandleA(nullptr), 0), 1);
    ASSERT_EQ(GU4_SupportsSecurityServices(), 1);
    calls_ = reinterpret_cast<SignCallsFn>(GetProcAddress(library_, "StandIn_SignCalls"));
    text_ = reinterpret_cast<SignedTextFn>(GetProcAddress(library_, "StandIn_SignedText"));
    ASSERT_NE(calls_, nullptr);
    signed_before_ = sign_calls();
  }
  int32_t sign_calls() {
    uint32_t first = 0, count = 0, last = 0;
    return calls_ != nullptr ? calls_(-1, &first, &count, &last) : 0;
  }
  // The arguments of the last call of AP135_SignFile.
  std::string last_call() {
    uint32_t first = 0, count = 0, last = 0;
    const int32_t index = calls_(-1, &first, &count, &last) - 1;
    calls_(index, &first, &count, &last);
    return std::to_string(first) + " " + std::to_string(count) + " " + text_(index, 0) + " " + text_(index, 1) + " " +
           std::to_string(last);
  }

  AP7_SPECTRUM* at_path(AP7_SPECTRUM* spectrum, const std::string& file) {
    EXPECT_EQ(ap7b_SetFilePath(spectrum, file.c_str()), 1);
    return spectrum;
  }
  static int16_t state(void* object) { return static_cast<int16_t>(send(AP_MSG_GET_CHANGE_STATE, object)); }

  const std::string file_ = path("signed.spa");
  HMODULE library_ = nullptr;
  SignCallsFn calls_ = nullptr;
  SignedTextFn text_ = nullptr;
  int32_t signed_before_ = 0;
};

TEST_F(SaveSigned, WithoutSignatureServicesTheFileIsWrittenAndNothingSigned) {
  ASSERT_EQ(GU4_SupportsSecurityServices(), 0);
  AP7_SPECTRUM* saved = at_path(spectrum({1, 2}), file_);
  EXPECT_EQ(send(AP_MSG_SAVE, saved), 1u) << "message 14 of the spectrum";
  EXPECT_TRUE(testsupport::file_exists(file_));
}

TEST_F(SaveSigned, EveryPartOfTheSpectrumIsMarkedSaved) {
  AP7_SPECTRUM* saved = at_path(spectrum({1, 2}), file_);
  ap7b_SetNameAndSubSpectra(saved, nullptr, hand_over(spectrum({1}, 22, 0, 0)), hand_over(spectrum({2}, 22, 0, 0)));
  ap40_Add_LLIST(saved->list, ap2_New_OBJ(AP43_CLASS_ID, nullptr));
  ASSERT_EQ(ap7a_SaveSigned(reinterpret_cast<AP_OBJECT*>(saved)), 1u);
  for (void* part : std::initializer_list<void*>{saved->data, saved->header, saved->annotation, saved->subSpectrumA,
                                                 saved->subSpectrumB, saved->history, saved->comment, saved->list})
    EXPECT_EQ(state(part), AP2_SAVED);
}

TEST_F(SaveSigned, WithSignatureServicesAndNoHostSettingsEverySaveIsSigned) {
  offer_signatures();
  AP7_SPECTRUM* saved = at_path(spectrum({1, 2}), file_);
  ASSERT_EQ(ap7a_SaveSigned(reinterpret_cast<AP_OBJECT*>(saved)), 1u);
  ASSERT_EQ(sign_calls(), signed_before_ + 1);
  EXPECT_EQ(last_call(), "1 2 AP135_SignFile " + file_ + " 0");
}

TEST_F(SaveSigned, AFailedSaveIsNotSignedAndLeavesNoFile) {
  offer_signatures();
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit former{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &former), 0);
  rlimit limit = former;
  limit.rlim_cur = 700;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const uint16_t saved = ap7a_SaveSigned(reinterpret_cast<AP_OBJECT*>(at_path(spectrum({1, 2, 3}), file_)));
  setrlimit(RLIMIT_FSIZE, &former);
  std::signal(SIGXFSZ, SIG_DFL);
  EXPECT_EQ(saved, 0);
  EXPECT_FALSE(testsupport::file_exists(file_));
  EXPECT_EQ(sign_calls(), signed_before_);
}

TEST_F(SaveSigned, AFailedBookkeepingStepAfterAWholeWriteKeepsTheFileUnsigned) {
  offer_signatures();
  AP7_SPECTRUM* saved = at_path(spectrum({1, 2}), file_);
  Stubborn stubborn;
  AP40_LLIST* list = saved->list;
  saved->list = reinterpret_cast<AP40_LLIST*>(&stubborn);
  const uint16_t result = ap7a_SaveSigned(reinterpret_cast<AP_OBJECT*>(saved));
  saved->list = list;
  EXPECT_EQ(result, 0) << "the failed step is reported";
  EXPECT_TRUE(testsupport::file_exists(file_)) << "the file written whole stays";
  EXPECT_EQ(sign_calls(), signed_before_);
  AP21_SPECTRUM_FILE* reader = named_spectrum_file(file_);
  ASSERT_EQ(open(reader, AP20_MODE_READ, 0).result, 1u);
  EXPECT_NE(keep(ap_result_object<AP_OBJECT>(send(AP21_MSG_READ, reader))), nullptr);
}

TEST_F(SaveSigned, AListIsSavedAsAGroupFileAndSignedUnderItsTitle) {
  offer_signatures();
  spfiletest::TestGroupClass& group = install_group_class();
  AP40_LLIST* list = ap40_New_LLIST(nullptr, AP40_NO_KEY);
  AP_OBJECT* title = ap2_New_OBJ(AP43_CLASS_ID, nullptr);
  GU2_SetParmValue_MSG(title, AP43_TEXT_PARM, const_cast<char*>("group.spg"));
  ap40_Add_LLIST(list, title);
  EXPECT_EQ(ap7a_SaveSigned(reinterpret_cast<AP_OBJECT*>(list)), 1u);
  EXPECT_EQ(group.format_class, AP52_CLASS_ID);
  EXPECT_EQ(spectrumtest::list_count(list), 0u);
  EXPECT_EQ(last_call(), "1 2 AP135_SignFile group.spg 0");
  ap40_Destroy_LLIST(list, nullptr, 1);
}

TEST_F(SaveSigned, AnObjectOfAnotherClassIsNotSaved) {
  AP_OBJECT* text = ap2_New_OBJ(AP48_CLASS_ID, nullptr);
  EXPECT_EQ(ap7a_SaveSigned(text), 0);
  AP_WINDOWPARM none{nullptr, 0};
  send(AP_MSG_DESTROY, text, &none);
}

}  // namespace
