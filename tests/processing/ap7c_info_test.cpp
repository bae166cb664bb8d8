#include <algorithm>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/modules.h"
#include "processing/processing_fixture.h"

namespace {

using namespace spectrumtest;
using testing::HasSubstr;

constexpr char kHost[] = "talvo32.exe";

// The stand-in signature functions: the arguments of the last call, and a
// second function that a later look-up would find.
std::string g_signed_path;
uint32_t g_signed_flag = 99;
AP7_SPECTRUM* g_signed_spectrum = nullptr;

char* signature_text(const char* path, uint32_t, uint32_t, uint32_t flag, AP7_SPECTRUM* spectrum) {
  g_signed_path = path;
  g_signed_flag = flag;
  g_signed_spectrum = spectrum;
  return GU3_StoreStringEx("Signed by tester");
}
char* other_signature_text(const char*, uint32_t, uint32_t, uint32_t, AP7_SPECTRUM*) {
  return GU3_StoreStringEx("Another");
}

// Members of a self-describing bench's spectrum write their line into the
// text object of message 70.
constexpr uint16_t kMemberClass = 214;
struct Member {
  uint16_t class_id = kMemberClass;
};
uint32_t member_dispatcher(void*, uint16_t message, void* parameter) {
  if (message != AP7C_MSG_MEMBER_INFO) return 0;
  const auto* block = static_cast<const AP7C_INFOMEMBERPARM*>(parameter);
  return send(AP48_MSG_APPEND, block->text, const_cast<char*>("Bench 901 describes itself"));
}

class InfoText : public ProcessingTest {
 protected:
  void SetUp() override {
    ProcessingTest::SetUp();
    GU2_ImmedSetDispatcher(kMemberClass, member_dispatcher);
  }
  void TearDown() override {
    GU2_ImmedSetDispatcher(kMemberClass, nullptr);
    GU6_DeleteConfig("CustomerInfo", "CompanyName");
    for (const char* name : {AP7_SIGNATURE_LIBRARY, kHost})
      while (HINSTANCE instance = GU4_GetDLLInst(name)) GU4_RemoveDLLInst(instance);
    ProcessingTest::TearDown();
  }

  static void add_labels(const std::string& scans_label = "Scans: ") {
    utiltest::ModuleBuilder builder;
    builder.group(AP41_GROUP_LABELS, {{0, scans_label, 0},
                                            {1, "Background scans: ", 0},
                                            {2, "Resolution: ", 0},
                                            {3, "Gain: ", 0},
                                            {4, "Velocity: ", 0},
                                            {5, "Aperture: ", 0},
                                            {6, "Detector: ", 0},
                                            {7, "Beam splitter: ", 0},
                                            {9, "Source: ", 0}});
    builder.group(AP41_GROUP_DETECTORS, {{3, "DTGS", 0}});
    builder.group(AP41_GROUP_BEAMSPLITTERS, {{2, "KBr", 0}});
    builder.group(AP13_GROUP_NOT_GIVEN, {{0, "N/A", 0}});
    utiltest::add_resource_module("info_labels.dll", builder);
  }

  // The host's signature library with the one entry (registered again: its
  // entries replaced).
  static void offer_signatures(const platform::ModuleExport& entry) {
    // The module keeps the address of its table.
    static std::deque<platform::ModuleExport> tables;
    tables.push_back(entry);
    HMODULE library = platform::register_builtin_module(AP7_SIGNATURE_LIBRARY, &tables.back(), 1);
    if (GU4_GetDLLInst(AP7_SIGNATURE_LIBRARY) != nullptr) return;
    ASSERT_EQ(GU4_AddDLLInst(AP7_SIGNATURE_LIBRARY, library, 0), 1);
    ASSERT_EQ(GU4_AddDLLInst(kHost, GetModuleHandleA(nullptr), 0), 1);
    ASSERT_EQ(GU4_SupportsSecurityServices(), 1);
  }

  AP7_SPECTRUM* spectrum() {
    AP7_SPECTRUM* s = keep(make_ramp(8, 400.0f, 414.0f));
    AP41_HEADERDATA& h = record(s);
    std::snprintf(h.title, sizeof h.title, "%s", "Polystyrene film");
    h.time = 0;
    h.NumScans = 32;
    h.BKNumScans = 64;
    h.DetectorID = 3;
    h.BeamSplitterID = 2;
    h.SourceID = 1;
    return s;
  }

  // The text of message 299, removed from the string space.
  static std::string info(AP7_SPECTRUM* s, uint16_t flags) {
    char* text = ap_result_object<char>(send(AP7_MSG_SPECTRUM_INFO_TEXT, s, reinterpret_cast<void*>(uintptr_t{flags})));
    EXPECT_NE(text, nullptr) << flags;
    if (text == nullptr) return "<null>";
    std::string copy = text;
    GU3_RemoveString(text);
    return copy;
  }
};

TEST_F(InfoText, SectionsFollowTheirFlags) {
  add_labels();
  GU6_SetConfig("CustomerInfo", "CompanyName", "Corvane Instrument");
  AP7_SPECTRUM* s = spectrum();
  ap7b_SetFilePath(s, "/data/film.spa");
  ap7d_SetCommentText(s, "Thin film");
  EXPECT_EQ(info(s, 0), "");
  EXPECT_EQ(info(s, AP7C_INFO_COMPANY | AP7C_INFO_TITLE), "Corvane Instrument\r\nPolystyrene film\r\n");
  EXPECT_EQ(info(s, AP7C_INFO_DATE), "N/A\r\n") << "no collection time";
  EXPECT_EQ(info(s, AP7C_INFO_PATH | AP7C_INFO_COMMENT), "/data/film.spa\r\nThin film");
  const std::string collection = info(s, AP7C_INFO_COLLECTION);
  EXPECT_THAT(collection, testing::StartsWith("Scans: 32\r\nBackground scans: 64\r\nResolution: "));
  EXPECT_THAT(collection, HasSubstr("\r\nGain: "));
  EXPECT_THAT(collection, HasSubstr("\r\nAperture: "));
  EXPECT_EQ(std::count(collection.begin(), collection.end(), '\n'), 6);
  const std::string optics = info(s, AP7C_INFO_OPTICS);
  EXPECT_THAT(optics, testing::StartsWith("Detector: DTGS\r\nBeam splitter: KBr\r\nSource: "));
  EXPECT_THAT(optics, testing::EndsWith("\r\n"));
  record(s).DetectorID = 77;
  EXPECT_THAT(info(s, AP7C_INFO_OPTICS), testing::StartsWith("Detector: N/A\r\n"));
}

TEST_F(InfoText, DateIsWrittenInTheLongForm) {
  zone("UTC");
  AP7_SPECTRUM* s = spectrum();
  record(s).time = GU4_SystemTime();
  char when[512] = "";
  ASSERT_NE(GU4_Time2StringSafe(record(s).time, when, GU4_TIMEFMT_LONG2, sizeof when), nullptr);
  EXPECT_EQ(info(s, AP7C_INFO_DATE), std::string(when) + "\r\n");
}

TEST_F(InfoText, ASelfDescribingBenchTakesItsMembersLines) {
  add_labels();
  AP7_SPECTRUM* s = spectrum();
  record(s).BenchID = 901;
  Member member;
  ap40_Add_LLIST(s->list, reinterpret_cast<AP_OBJECT*>(&member));
  const std::string text = info(s, AP7C_INFO_COLLECTION | AP7C_INFO_OPTICS);
  ap40_Remove_LLIST(s->list, reinterpret_cast<AP_OBJECT*>(&member), 0);
  EXPECT_EQ(text, "Bench 901 describes itself\r\n");
}

TEST_F(InfoText, LongPiecesAreCutToTheWorkLineWithItsLineEnd) {
  add_labels(std::string(700, 'L'));
  const std::string text = info(spectrum(), AP7C_INFO_COLLECTION);
  EXPECT_EQ(text.find("\r\n"), 509u) << "509 characters, the line end and the terminator make 512";
  EXPECT_EQ(text.substr(0, 509), std::string(509, 'L'));
  EXPECT_THAT(text, HasSubstr("\r\nBackground scans: 64\r\n"));
}

// The address is kept for the process once found: one test walks the
// whole road.
TEST_F(InfoText, SignatureLineComesFromTheSignatureLibraryLookedUpOnce) {
  AP7_SPECTRUM* s = spectrum();
  ap7b_SetFilePath(s, "/data/film.spa");
  offer_signatures({"AP135_SignFile", nullptr});
  EXPECT_EQ(info(s, AP7C_INFO_TITLE), "\r\nPolystyrene film\r\n") << "no function: the line end alone";
  offer_signatures({AP7C_SIGNATURE_TEXT_ENTRY, reinterpret_cast<FARPROC>(&signature_text)});
  EXPECT_EQ(info(s, 0), "Signed by tester\r\n");
  EXPECT_EQ(g_signed_path, "/data/film.spa");
  EXPECT_EQ(g_signed_flag, 1u);
  EXPECT_EQ(g_signed_spectrum, s);
  EXPECT_EQ(info(s, AP7C_INFO_SIGNATURE_FLAG_0), "Signed by tester\r\n");
  EXPECT_EQ(g_signed_flag, 0u);
  EXPECT_EQ(info(s, AP7C_INFO_NO_SIGNATURE), "") << "no signature line at all";
  offer_signatures({AP7C_SIGNATURE_TEXT_ENTRY, reinterpret_cast<FARPROC>(&other_signature_text)});
  EXPECT_EQ(info(s, 0), "Signed by tester\r\n") << "the address found first is kept";
  EXPECT_EQ(send(AP7_MSG_SPECTRUM_INFO_TEXT, nullptr, nullptr), 0u);
}

}  // namespace
