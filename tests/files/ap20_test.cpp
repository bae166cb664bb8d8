#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "files/files_fixture.h"
#include "platform/user.h"

namespace {

using filetest::FileObjects;

uint32_t address_of(const void* pointer) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer)); }

// A host's file-access object that records what the file layer asks of it
// and opens through the system, so that its handles are real.
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
    opens.push_back(Open{name, access, share, disposition, flags});
    return CreateFileA(name, access, share, security, disposition, flags, template_file);
  }
  BOOL CloseHandle(HANDLE file) override {
    ++closes;
    return ::CloseHandle(file);
  }

  struct Open {
    std::string name;
    DWORD access;
    DWORD share;
    DWORD disposition;
    DWORD flags;
  };
  ULONG references = 1;
  std::vector<Open> opens;
  int closes = 0;
};

class FileObject : public FileObjects {
 protected:
  // Files open and close through a host's object from here on; the object
  // outlives the test, since TearDown turns the redirection off.
  void route_through_host() { APX_TurnonFileRedirection(&host); }
  RecordingRedirection host;

  static uint32_t read(AP20_FILE* file, void* buffer, uint32_t count) {
    AP20_TRANSFERPARM parameter{buffer, count};
    return send(AP20_MSG_READ, file, &parameter);
  }
  static uint32_t write(AP20_FILE* file, const std::string& bytes) {
    AP20_TRANSFERPARM parameter{const_cast<char*>(bytes.data()), static_cast<uint32_t>(bytes.size())};
    return send(AP20_MSG_WRITE, file, &parameter);
  }
  static uint32_t seek(AP20_FILE* file, int32_t offset, uint16_t origin) {
    AP20_SEEKPARM parameter{offset, origin};
    return send(AP20_MSG_SEEK, file, &parameter);
  }
  static uint32_t set_name(AP20_FILE* file, const char* directory, const char* name) {
    AP20_NAMEPARM parameter{directory, name};
    return send(AP20_MSG_SET_NAME, file, &parameter);
  }
  static std::string name_of(AP20_FILE* file) {
    char buffer[AP20_NAME_SIZE];
    EXPECT_EQ(send(AP20_MSG_GET_NAME, file, buffer), 1u);
    return buffer;
  }
  static uint32_t error_of(AP20_FILE* file) { return send(AP20_MSG_LAST_ERROR, file); }
  static uint32_t set_error(AP20_FILE* file, uint16_t code) {
    AP20_WORDPARM parameter{code};
    return send(AP20_MSG_SET_ERROR, file, &parameter);
  }
};

// ---------------------------------------------------------------------------
// The class and the object

TEST_F(FileObject, TheClassIsRegisteredAfterTheRootWithItsDispatcher) {
  EXPECT_EQ(APX_GetClassState(AP20_CLASS_ID), 1);
  EXPECT_EQ(APX_GetClassParentID(AP20_CLASS_ID), AP2_CLASS_ID);
  EXPECT_EQ(GU2_GetDispatcher(AP20_CLASS_ID), &AP20_Dispatcher_FILE);
  EXPECT_EQ(GU2_SetDispatcher(AP20_CLASS_ID, apcom_LibraryModule(), "AP20_Dispatcher_FILE"), &AP20_Dispatcher_FILE);
  EXPECT_EQ(ap20_GetClassError(), 0);
}

TEST_F(FileObject, ANewObjectIsClosedUnnamedWithGrowthStep32AndItsOwnOuterObject) {
  AP20_FILE* file = make_file();
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->head.class_id, AP20_CLASS_ID);
  auto* part = reinterpret_cast<AP2_OBJECT*>(packed(file->head.parent));
  EXPECT_EQ(part->head.class_id, AP2_CLASS_ID);
  EXPECT_EQ(packed(part->outer), &file->head);
  EXPECT_EQ(file->name[0], '\0');
  EXPECT_EQ(packed(file->handle), nullptr);
  EXPECT_EQ(file->mode, 0);
  EXPECT_EQ(packed(file->error), 0u);
  EXPECT_EQ(file->may_grow, 0);
  EXPECT_EQ(packed(file->header), nullptr);
  EXPECT_EQ(packed(file->directory), nullptr);
  EXPECT_EQ(file->growth_step, 32);
  const APX_CLASSREC& record = APX_GetClassTable()->classes[AP20_CLASS_ID];
  EXPECT_EQ(record.live, 1);
  EXPECT_EQ(record.created, 1);
  EXPECT_EQ(send(AP_MSG_SIZE, file), 46u + 296u);
  char name[32];
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, file, name), 1u);
  EXPECT_STREQ(name, "AP20_FILE");
}

TEST_F(FileObject, CreatedWithAnOwnerTheRootPartSpeaksForTheOwner) {
  AP_OBJECT owner{21, nullptr};
  uint16_t class_id = AP20_CLASS_ID;
  auto* file = ap_result_object<AP20_FILE>(send(AP_MSG_CREATE, &class_id, &owner));
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(packed(reinterpret_cast<AP2_OBJECT*>(packed(file->head.parent))->outer), &owner);
  EXPECT_EQ(ap20_Destroy(file, nullptr), AP_DESTROYED);
}

TEST_F(FileObject, DestroyingAnOpenObjectClosesItsFileAndFreesItsCell) {
  route_through_host();
  testsupport::write_file("kept.bin", "abc");
  AP20_FILE* file = opened_file(path("kept.bin"), AP20_MODE_READ);
  destroy(file);
  EXPECT_EQ(host.closes, 1);
  EXPECT_EQ(APX_GetClassTable()->classes[AP20_CLASS_ID].live, 0);
  EXPECT_EQ(testsupport::read_file(path("kept.bin")), "abc");
}

TEST_F(FileObject, TheCommonProtocolReachesTheRootPart) {
  AP20_FILE* file = make_file();
  EXPECT_EQ(send(AP_MSG_BEGIN_CHANGE, file), 1u);
  EXPECT_EQ(send(AP_MSG_END_CHANGE, file), 1u);
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, file), static_cast<uint32_t>(AP2_CHANGED));
  char dump[256];
  EXPECT_EQ(send(AP_MSG_DUMP, file, dump), 1u);
  EXPECT_EQ(std::string(dump).rfind("AP20_FILE:", 0), 0u) << dump;
}

TEST_F(FileObject, MessagesOutsideTheTableAnswerZero) {
  AP20_FILE* file = make_file();
  for (uint16_t message : {uint16_t{13}, uint16_t{14}, uint16_t{17}, uint16_t{23}, uint16_t{36}, uint16_t{37},
                           uint16_t{62}, uint16_t{63}, uint16_t{300}}) {
    uint32_t parameter[4] = {};
    EXPECT_EQ(send(message, file, parameter), 0u) << message;
  }
}

TEST_F(FileObject, TheFileOfAnObjectIsFoundThroughItsParentParts) {
  AP20_FILE* file = make_file();
  AP_OBJECT spectrum_file{21, &file->head};  // a file class whose parent part is the file object
  AP_OBJECT format{45, &spectrum_file};
  EXPECT_EQ(ap20_FindFile(file), file);
  EXPECT_EQ(ap20_FindFile(&format), file);
  EXPECT_EQ(send(AP20_MSG_FILE_PART, file), address_of(file));
  AP_OBJECT bare{7, nullptr};
  EXPECT_EQ(ap20_FindFile(&bare), nullptr);
  AP_OBJECT loop_a{21, nullptr}, loop_b{45, &loop_a};
  loop_a.parent = &loop_b;
  EXPECT_EQ(ap20_FindFile(&loop_a), nullptr);
}

TEST_F(FileObject, FormatClassesRegisteredOnAFileClassAreKeptInOrderInItsClassRecord) {
  EXPECT_EQ(ap20_IsFormatClass(21, 45), 0);
  EXPECT_EQ(ap20_AddFormatClass(21, 45), 1);
  EXPECT_EQ(ap20_AddFormatClass(21, 63), 1);
  EXPECT_EQ(ap20_AddFormatClass(21, 250), 0);
  EXPECT_EQ(ap20_IsFormatClass(21, 45), 1);
  EXPECT_EQ(ap20_IsFormatClass(21, 63), 1);
  EXPECT_EQ(ap20_IsFormatClass(21, 250), 0);
  EXPECT_EQ(ap20_IsFormatClass(51, 45), 0);
  auto* block = static_cast<GU3_HANDLE>(APX_GetClassTable()->classes[21].class_data);
  auto* list = static_cast<GU1_LINKLIST*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(packed(list->count), 2u);
  EXPECT_EQ(*static_cast<uint16_t*>(gu1_item(list, GU1_Head_LL(list))), 45);
  ap20_FreeFormatClasses(21);
  EXPECT_EQ(packed(APX_GetClassTable()->classes[21].class_data), nullptr);
  EXPECT_EQ(ap20_IsFormatClass(21, 45), 0);
}

// ---------------------------------------------------------------------------
// Open modes

struct ModeCase {
  uint16_t mode;
  bool reads;
  bool writes;
  bool truncates;
  DWORD access;
  DWORD disposition;
};

class OpenModes : public FileObject, public testing::WithParamInterface<ModeCase> {};

TEST_P(OpenModes, EachModeOpensThroughTheHookWithItsAccessAndCreation) {
  const ModeCase& mode = GetParam();
  route_through_host();
  testsupport::write_file("modes.bin", "0123456789");
  AP20_FILE* file = opened_file(path("modes.bin"), mode.mode);
  ASSERT_EQ(host.opens.size(), 1u);
  EXPECT_EQ(host.opens[0].name, path("modes.bin"));
  EXPECT_EQ(host.opens[0].access, mode.access);
  EXPECT_EQ(host.opens[0].disposition, mode.disposition);
  EXPECT_EQ(host.opens[0].share, FILE_SHARE_READ);
  EXPECT_EQ(host.opens[0].flags, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS);
  EXPECT_EQ(send(AP20_MSG_OPEN_MODE, file), mode.mode);
  EXPECT_EQ(send(AP20_MSG_IS_OPEN, file), 1u);
  char byte = 0;
  EXPECT_EQ(read(file, &byte, 1), mode.reads ? 1u : 0u);
  EXPECT_EQ(write(file, "x"), mode.writes ? 1u : 0u);
  EXPECT_EQ(send(AP20_MSG_CLOSE, file), 1u);
  EXPECT_EQ(testsupport::read_file(path("modes.bin")).size(), mode.truncates ? 1u : 10u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OpenModes,
    testing::Values(ModeCase{AP20_MODE_READ, true, false, false, GENERIC_READ, OPEN_EXISTING},
                    ModeCase{AP20_MODE_WRITE, false, true, false, GENERIC_WRITE, OPEN_EXISTING},
                    ModeCase{AP20_MODE_READWRITE, true, true, false, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING},
                    ModeCase{AP20_MODE_CREATE, false, true, true, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS}));

TEST_F(FileObject, TheExistenceTestClosesItsHandleAtOnce) {
  testsupport::write_file("there.bin", "x");
  AP20_FILE* there = named_file(path("there.bin"));
  EXPECT_EQ(open(there, AP20_MODE_EXIST), 1u);
  EXPECT_EQ(send(AP20_MSG_IS_OPEN, there), 0u);
  EXPECT_EQ(send(AP20_MSG_OPEN_MODE, there), 0u);
  AP20_FILE* missing = named_file(path("missing.bin"));
  EXPECT_EQ(open(missing, AP20_MODE_EXIST), 0u);
  EXPECT_EQ(error_of(missing), ERROR_FILE_NOT_FOUND);
}

TEST_F(FileObject, ParsingTouchesNoFile) {
  AP20_FILE* file = named_file(path("never/made.bin"));
  EXPECT_EQ(open(file, AP20_MODE_PARSE), 1u);
  EXPECT_EQ(send(AP20_MSG_IS_OPEN, file), 0u);
  EXPECT_FALSE(testsupport::file_exists(path("never")));
}

TEST_F(FileObject, AnUnknownModeFailsAndClearsTheError) {
  testsupport::write_file("any.bin", "x");
  AP20_FILE* file = named_file(path("any.bin"));
  set_error(file, 77);
  EXPECT_EQ(open(file, 33), 0u);
  EXPECT_EQ(error_of(file), 0u);
  EXPECT_EQ(send(AP20_MSG_IS_OPEN, file), 0u);
}

TEST_F(FileObject, OpeningWithoutANameFailsAndKeepsTheError) {
  AP20_FILE* file = make_file();
  set_error(file, 77);
  EXPECT_EQ(open(file, AP20_MODE_READ), 0u);
  EXPECT_EQ(error_of(file), 77u);
}

TEST_F(FileObject, AFailedOpenKeepsTheSystemErrorAndLeavesTheObjectClosed) {
  AP20_FILE* missing = named_file(path("missing.bin"));
  EXPECT_EQ(open(missing, AP20_MODE_READ), 0u);
  EXPECT_EQ(error_of(missing), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(send(AP20_MSG_OPEN_MODE, missing), 0u);
  AP20_FILE* no_folder = named_file(path("no/folder.bin"));
  EXPECT_EQ(open(no_folder, AP20_MODE_CREATE), 0u);
  EXPECT_EQ(error_of(no_folder), ERROR_PATH_NOT_FOUND);
}

TEST_F(FileObject, OpeningAgainClosesTheHandleItHeld) {
  route_through_host();
  testsupport::write_file("twice.bin", "abc");
  AP20_FILE* file = opened_file(path("twice.bin"), AP20_MODE_READ);
  EXPECT_EQ(open(file, AP20_MODE_READWRITE), 1u);
  EXPECT_EQ(host.closes, 1);
  EXPECT_EQ(send(AP20_MSG_OPEN_MODE, file), AP20_MODE_READWRITE);
}

TEST_F(FileObject, ClosingAClosedFileFailsWithError6) {
  AP20_FILE* file = named_file(path("x.bin"));
  EXPECT_EQ(send(AP20_MSG_CLOSE, file), 0u);
  EXPECT_EQ(error_of(file), AP20_ERROR_NOT_OPEN);
}

TEST_F(FileObject, ExistsIsTrueForAnOpenFileOrOneThatOpens) {
  testsupport::write_file("there.bin", "x");
  uint32_t unused[2] = {};
  EXPECT_EQ(send(AP20_MSG_EXISTS, named_file(path("there.bin")), unused), 1u);
  EXPECT_EQ(send(AP20_MSG_EXISTS, named_file(path("missing.bin")), unused), 0u);
  AP20_FILE* open_file = opened_file(path("new.bin"), AP20_MODE_CREATE);
  EXPECT_EQ(send(AP20_MSG_EXISTS, open_file, unused), 1u);
  EXPECT_EQ(send(AP20_MSG_IS_OPEN, open_file), 1u);
}

TEST_F(FileObject, ReopeningInCreateModeKeepsAnExistingFileAndWrites) {
  testsupport::write_file("kept.bin", "abc");
  AP20_FILE* file = opened_file(path("kept.bin"), AP20_MODE_READ);
  AP20_WORDPARM create{AP20_MODE_CREATE};
  EXPECT_EQ(send(AP20_MSG_REOPEN, file, &create), 1u);
  EXPECT_EQ(send(AP20_MSG_OPEN_MODE, file), AP20_MODE_WRITE);
  EXPECT_EQ(write(file, "X"), 1u);
  send(AP20_MSG_CLOSE, file);
  EXPECT_EQ(testsupport::read_file(path("kept.bin")), "Xbc");
  AP20_FILE* fresh = named_file(path("fresh.bin"));
  EXPECT_EQ(send(AP20_MSG_REOPEN, fresh, &create), 1u);
  EXPECT_EQ(send(AP20_MSG_OPEN_MODE, fresh), AP20_MODE_CREATE);
}

// ---------------------------------------------------------------------------
// Transfers and positions

TEST_F(FileObject, ReadAndWriteMoveBytesAtThePositionAndCountThem) {
  AP20_FILE* file = opened_file(path("data.bin"), AP20_MODE_CREATE);
  EXPECT_EQ(write(file, "abcdef"), 6u);
  EXPECT_EQ(send(AP20_MSG_POSITION, file), 6u);
  EXPECT_EQ(seek(file, 2, FILE_BEGIN), 1u);
  char got[8] = {};
  EXPECT_EQ(read(file, got, 8), 4u);
  EXPECT_STREQ(got, "cdef");
  EXPECT_EQ(seek(file, -3, FILE_CURRENT), 1u);
  EXPECT_EQ(send(AP20_MSG_POSITION, file), 3u);
  EXPECT_EQ(send(AP20_MSG_REWIND, file), 1u);
  EXPECT_EQ(send(AP20_MSG_POSITION, file), 0u);
  EXPECT_EQ(send(AP20_MSG_SEEK_END, file), 1u);
  EXPECT_EQ(send(AP20_MSG_POSITION, file), 6u);
  EXPECT_EQ(send(AP20_MSG_FILE_SIZE, file), 6u);
}

TEST_F(FileObject, TransfersOnAClosedFileFailWithError6) {
  AP20_FILE* file = named_file(path("x.bin"));
  set_error(file, 77);
  char byte = 0;
  EXPECT_EQ(ap20_Read(file, &byte, 1), 0u);
  EXPECT_EQ(error_of(file), AP20_ERROR_NOT_OPEN);
  set_error(file, 77);
  EXPECT_EQ(ap20_Write(file, "x", 1), 0u);
  EXPECT_EQ(error_of(file), AP20_ERROR_NOT_OPEN);
  EXPECT_EQ(seek(file, 0, FILE_BEGIN), 0u);
  EXPECT_EQ(send(AP20_MSG_TRUNCATE, file), 0u);
  EXPECT_EQ(send(AP20_MSG_POSITION, file), 0xFFFFFFFFu);
}

TEST_F(FileObject, ASuccessfulTransferClearsTheError) {
  AP20_FILE* file = opened_file(path("data.bin"), AP20_MODE_CREATE);
  set_error(file, 77);
  EXPECT_EQ(ap20_Write(file, "ab", 2), 2u);
  EXPECT_EQ(error_of(file), 0u);
}

TEST_F(FileObject, ThePrimitivesRefuseWhatIsNotAFileObject) {
  AP2_OBJECT* bare = reinterpret_cast<AP2_OBJECT*>(ap2_New_OBJ(AP2_CLASS_ID, nullptr));
  char byte = 0;
  EXPECT_EQ(ap20_Read(nullptr, &byte, 1), 0u);
  EXPECT_EQ(ap20_Read(bare, &byte, 1), 0u);
  EXPECT_EQ(ap20_Write(bare, "x", 1), 0u);
  EXPECT_EQ(ap20_IsOpen(bare), 0);
  EXPECT_EQ(ap20_IsOpen(nullptr), 0);
  EXPECT_EQ(ap20_SetFileName(bare, nullptr, "x"), 0);
  EXPECT_EQ(ap20_GetError(nullptr), 0xFFFFFFFFu);
  ap2_Destroy_OBJ(bare, nullptr);
}

TEST_F(FileObject, AFailedSeekKeepsTheSystemError) {
  AP20_FILE* file = opened_file(path("data.bin"), AP20_MODE_CREATE);
  EXPECT_EQ(seek(file, -1, FILE_BEGIN), 0u);
  EXPECT_EQ(error_of(file), ERROR_NEGATIVE_SEEK);
}

TEST_F(FileObject, TruncateCutsTheFileAtThePosition) {
  AP20_FILE* file = opened_file(path("data.bin"), AP20_MODE_CREATE);
  write(file, "abcdef");
  seek(file, 2, FILE_BEGIN);
  EXPECT_EQ(send(AP20_MSG_TRUNCATE, file), 1u);
  EXPECT_EQ(send(AP20_MSG_FILE_SIZE, file), 2u);
}

TEST_F(FileObject, TheSizeOfAClosedFileIsAskedByOpeningItForTheQuestion) {
  testsupport::write_file("five.bin", "12345");
  AP20_FILE* file = named_file(path("five.bin"));
  EXPECT_EQ(send(AP20_MSG_FILE_SIZE, file), 5u);
  EXPECT_EQ(send(AP20_MSG_IS_OPEN, file), 0u);
  EXPECT_EQ(send(AP20_MSG_FILE_SIZE, named_file(path("missing.bin"))), 0xFFFFFFFFu);
}

// ---------------------------------------------------------------------------
// Tokens

struct TokenCase {
  const char* content;
  const char* delimiters;
  uint16_t size;
  uint32_t result;
  const char* token;
  uint32_t position_after;
};

class Tokens : public FileObject, public testing::WithParamInterface<TokenCase> {};

TEST_P(Tokens, ATokenEndsAtTheFirstDelimiterAndThePositionMovesPastIt) {
  const TokenCase& line = GetParam();
  testsupport::write_file("tokens.txt", line.content);
  AP20_FILE* file = opened_file(path("tokens.txt"), AP20_MODE_READ);
  seek(file, 1, FILE_BEGIN);  // tokens are read from the position, not the start
  char buffer[64];
  std::memset(buffer, '#', sizeof buffer);
  AP20_TOKENPARM parameter{line.delimiters, line.size, buffer};
  EXPECT_EQ(send(AP20_MSG_READ_TOKEN, file, &parameter), line.result);
  if (line.result == 1) {
    EXPECT_STREQ(buffer, line.token);
  }
  EXPECT_EQ(send(AP20_MSG_POSITION, file), line.position_after);
  EXPECT_EQ(buffer[line.size], '#');  // nothing written beyond the size
}

INSTANTIATE_TEST_SUITE_P(Table, Tokens,
                         testing::Values(TokenCase{"-abc def", nullptr, 20, 1, "abc", 5},
                                         TokenCase{"-abc\tdef", nullptr, 20, 1, "abc", 5},
                                         TokenCase{"-line one\r\nnext", "\n", 20, 1, "line one", 11},
                                         TokenCase{"-1.5,2.5", ",", 20, 1, "1.5", 5},
                                         TokenCase{"-\nrest", nullptr, 20, 1, "", 2},
                                         TokenCase{"-abcdef\n", nullptr, 4, 0, "", 1},
                                         TokenCase{"-abc\n", nullptr, 4, 1, "abc", 5},
                                         TokenCase{"-no delimiter", "\n", 40, 0, "", 1},
                                         TokenCase{"-", nullptr, 20, 0, "", 1}));

TEST_F(FileObject, ATokenIsNotReadFromAClosedFile) {
  AP20_FILE* file = named_file(path("x.txt"));
  char buffer[8];
  EXPECT_EQ(ap20_GetFileName(file, nullptr, 8, buffer), 0);
  EXPECT_EQ(ap20_GetFileName(file, nullptr, 0, buffer), 0);
}

// ---------------------------------------------------------------------------
// Names

struct NameCase {
  const char* directory;
  std::string name;
  uint32_t result;
  std::string stored;
};

class Names : public FileObject, public testing::WithParamInterface<NameCase> {};

TEST_P(Names, TheDirectoryAndNameAreJoinedWithOneSeparatorWithinTheField) {
  const NameCase& naming = GetParam();
  AP20_FILE* file = make_file();
  set_name(file, nullptr, "old.spa");
  EXPECT_EQ(set_name(file, naming.directory, naming.name.c_str()), naming.result);
  EXPECT_EQ(name_of(file), naming.result == 1 ? naming.stored : "old.spa");
}

const std::string k259(259, 'n');
const std::string k260(260, 'n');
const std::string kDirectory200(200, 'd');

INSTANTIATE_TEST_SUITE_P(
    Table, Names,
    testing::Values(NameCase{nullptr, "C:\\data\\x.spa", 1, "C:\\data\\x.spa"},
                    NameCase{"C:\\data", "x.spa", 1, "C:\\data\\x.spa"},
                    NameCase{"C:\\data\\", "x.spa", 1, "C:\\data\\x.spa"},
                    NameCase{"/tmp/", "x.spa", 1, "/tmp/x.spa"},
                    NameCase{"C:\\data", "\\x.spa", 1, "C:\\data\\x.spa"},
                    NameCase{"C:\\data", "/x.spa", 1, "C:\\data/x.spa"},
                    NameCase{"", "x.spa", 1, "x.spa"},
                    // The field holds 259 characters and the NUL.
                    NameCase{nullptr, k259, 1, k259},
                    NameCase{nullptr, k260, 0, ""},
                    NameCase{"d", std::string(257, 'n'), 0, ""},
                    NameCase{"d", std::string(256, 'n'), 1, "d\\" + std::string(256, 'n')},
                    NameCase{kDirectory200.c_str(), std::string(58, 'n'), 1, kDirectory200 + "\\" + std::string(58, 'n')},
                    NameCase{kDirectory200.c_str(), std::string(59, 'n'), 0, ""}));

TEST_F(FileObject, NamingIsAChangeOfTheObjectThatItsDependentsHear) {
  AP20_FILE* file = make_file();
  int notices = 0;
  HWND window = platform::create_window([&notices](HWND, UINT message, WPARAM, LPARAM) {
    if (message == AP_NOTICE_CHANGED) ++notices;
    return LRESULT{0};
  });
  AP_DEPENDENTWINDOWPARM dependent{window, AP2_KIND_NOTIFY_CHANGE};
  send(AP_MSG_ADD_DEPENDENT_WINDOW, file, &dependent);
  EXPECT_EQ(set_name(file, nullptr, "x.spa"), 1u);
  EXPECT_EQ(notices, 1);
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, file), static_cast<uint32_t>(AP2_CHANGED));
  EXPECT_EQ(set_name(file, nullptr, k260.c_str()), 0u);  // refused before anything changes
  EXPECT_EQ(notices, 1);
  destroy(file);
  platform::destroy_window(window);
}

TEST_F(FileObject, AnEmptyNameEmptiesTheFieldAndFails) {
  AP20_FILE* file = named_file("old.spa");
  EXPECT_EQ(set_name(file, nullptr, ""), 0u);
  EXPECT_EQ(name_of(file), "");
  EXPECT_EQ(set_name(file, nullptr, nullptr), 0u);
}

TEST_F(FileObject, AnOpenFileIsNotRenamedByNaming) {
  AP20_FILE* file = opened_file(path("open.bin"), AP20_MODE_CREATE);
  EXPECT_EQ(ap20_SetFileName(file, nullptr, "other.bin"), 0);
  EXPECT_EQ(name_of(file), path("open.bin"));
}

// ---------------------------------------------------------------------------
// Errors

TEST_F(FileObject, SetErrorReachesTheObjectAndTheClassWord) {
  AP20_FILE* first = make_file();
  AP20_FILE* second = make_file();
  EXPECT_EQ(set_error(first, 5001), 1u);
  EXPECT_EQ(error_of(first), 5001u);
  EXPECT_EQ(error_of(second), 0u);
  EXPECT_EQ(send(AP20_MSG_CLASS_ERROR, second), 5001u);
  EXPECT_EQ(ap20_GetClassError(), 5001);
  ap20_SetError(second, 400);
  EXPECT_EQ(error_of(second), 400u);
  EXPECT_EQ(ap20_GetClassError(), 5001);  // the primitive leaves the class word
}

TEST(FileClass, WithoutItsClassDataTheClassErrorIsMinusOne) { EXPECT_EQ(ap20_GetClassError(), -1); }

TEST_F(FileObject, GrowthPermissionAndStepAreKept) {
  AP20_FILE* file = make_file();
  AP20_WORDPARM on{1};
  EXPECT_EQ(send(AP20_MSG_SET_GROWTH, file, &on), 1u);
  EXPECT_EQ(file->may_grow, 1);
  AP20_WORDPARM step{64};
  EXPECT_EQ(send(AP20_MSG_SET_GROWTH_STEP, file, &step), 1u);
  EXPECT_EQ(file->growth_step, 64);
}

// ---------------------------------------------------------------------------
// Saving objects through a file object

TEST_F(FileObject, AFileObjectSavesItsNameWithoutTheNul) {
  AP20_FILE* target = opened_file(path("saved.bin"), AP20_MODE_CREATE);
  AP20_FILE* named = named_file("C:\\data\\x.spa");
  EXPECT_EQ(send(AP_MSG_WRITE, named, target), 1u);
  EXPECT_EQ(send(AP_MSG_WRITE, make_file(), target), 1u);  // an empty name writes nothing
  send(AP20_MSG_CLOSE, target);
  EXPECT_EQ(testsupport::read_file(path("saved.bin")), "C:\\data\\x.spa");
}

TEST_F(FileObject, TheRootObjectSavesThroughAFileObjectWritingNothing) {
  AP20_FILE* file = opened_file(path("root.bin"), AP20_MODE_CREATE);
  auto* part = reinterpret_cast<AP2_OBJECT*>(ap2_New_OBJ(AP2_CLASS_ID, nullptr));
  ap2_BeginChange_OBJ(part);
  ap2_EndChange_OBJ(part);
  EXPECT_EQ(send(AP_MSG_SAVE, part, file), 1u);
  EXPECT_EQ(part->change_state, AP2_SAVED);
  EXPECT_EQ(send(AP_MSG_WRITE, part, file), 1u);
  EXPECT_EQ(send(AP20_MSG_FILE_SIZE, file), 0u);
  ap2_Destroy_OBJ(part, nullptr);
}

TEST_F(FileObject, TheRootObjectLoadsFromAFileObjectAsANewBareObject) {
  testsupport::write_file("root.bin", "");
  AP20_FILE* file = opened_file(path("root.bin"), AP20_MODE_READ);
  uint16_t class_id = AP2_CLASS_ID;
  AP_READPARM create{&file->head, 1};
  auto* made = ap_result_object<AP2_OBJECT>(send(AP_MSG_READ, &class_id, &create));
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(packed(made->outer), &made->head);
  EXPECT_EQ(send(AP20_MSG_POSITION, file), 0u);  // nothing was read
  AP_READPARM into{&file->head, 0};
  EXPECT_EQ(send(AP_MSG_READ, made, &into), address_of(made));
  ap2_Destroy_OBJ(made, nullptr);
}

}  // namespace
