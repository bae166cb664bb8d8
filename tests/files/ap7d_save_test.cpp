#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "files/spectrum_files_fixture.h"
#include "platform/files.h"

namespace {

using spfiletest::SpectrumFiles;

// A host's file-access object that opens every file the save creates for
// reading only: the file comes to be, but nothing can be written to it, as
// on a disk that refuses writes.
class ReadOnlyHost : public IVlRedirectFileAccess {
 public:
  HRESULT QueryInterface(REFIID, void** object) override {
    if (object != nullptr) *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HANDLE CreateFile(LPCSTR name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security, DWORD disposition,
                    DWORD flags, HANDLE template_file) override {
    if (access & GENERIC_WRITE) {
      HANDLE created = CreateFileA(name, access, share, security, disposition, flags, template_file);
      if (created == INVALID_HANDLE_VALUE) return created;
      ::CloseHandle(created);
      access = GENERIC_READ;
      disposition = OPEN_EXISTING;
    }
    return CreateFileA(name, access, share, security, disposition, flags, template_file);
  }
  BOOL CloseHandle(HANDLE file) override { return ::CloseHandle(file); }
};

class SaveInAFormat : public SpectrumFiles {
 protected:
  void TearDown() override {
    if (limited_) {
      setrlimit(RLIMIT_FSIZE, &former_limit_);
      std::signal(SIGXFSZ, SIG_DFL);
    }
    SpectrumFiles::TearDown();
  }

  // Files of this process cannot grow beyond the bytes given, as on a full
  // disk; a write beyond fails instead of ending the process.
  void limit_file_size(rlim_t bytes) {
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &former_limit_), 0);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = former_limit_;
    limit.rlim_cur = bytes;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    limited_ = true;
  }

  AP7_SPECTRUM* at_path(AP7_SPECTRUM* spectrum, const std::string& file) {
    EXPECT_EQ(ap7b_SetFilePath(spectrum, file.c_str()), 1);
    return spectrum;
  }
  static uint32_t save_to_file(AP7_SPECTRUM* spectrum, uint16_t format_class) {
    AP7_SAVEPARM parameter{format_class};
    return send(AP7_MSG_SAVE_TO_FILE, spectrum, &parameter);
  }
  // Presets the file classes' error word, as an earlier call may leave it.
  void leave_error(uint16_t code) {
    AP20_FILE* other = make_file();
    AP20_WORDPARM parameter{code};
    ASSERT_EQ(send(AP20_MSG_SET_ERROR, other, &parameter), 1u);
    destroy(other);
  }

  const std::string file_ = path("out.spa");
  ReadOnlyHost host_;

 private:
  bool limited_ = false;
  rlimit former_limit_{};
};

// ---------------------------------------------------------------------------
// A spectrum (message 200)

TEST_F(SaveInAFormat, SpectrumIsWrittenThroughItsFormatAndMarkedSaved) {
  AP7_SPECTRUM* saved = at_path(spectrum({1, 2, 3}), file_);
  EXPECT_EQ(save_to_file(saved, AP45_CLASS_ID), 1u);
  EXPECT_EQ(static_cast<int16_t>(send(AP_MSG_GET_CHANGE_STATE, saved->data)), AP2_SAVED);
  AP21_SPECTRUM_FILE* reader = named_spectrum_file(file_);
  ASSERT_EQ(open(reader, AP20_MODE_READ, 0).class_id, AP45_CLASS_ID);
  AP7_SPECTRUM* read = keep(ap_result_object<AP_OBJECT>(send(AP21_MSG_READ, reader)));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(spectrumtest::values(read), std::vector<float>({1, 2, 3}));
  EXPECT_EQ(APX_GetClassTable()->classes[AP21_CLASS_ID].live, 1) << "the save's own file object is gone";
}

TEST_F(SaveInAFormat, EmptyPathSavesNothing) {
  EXPECT_EQ(save_to_file(spectrum({1}), AP45_CLASS_ID), 0u);
  EXPECT_EQ(APX_GetClassTable()->classes[AP21_CLASS_ID].live, 0);
}

TEST_F(SaveInAFormat, NoFormatClassSavesNothing) {
  EXPECT_EQ(save_to_file(at_path(spectrum({1}), file_), 0), 0u);
  EXPECT_FALSE(testsupport::file_exists(file_));
}

TEST_F(SaveInAFormat, MissingFolderSavesNothing) {
  const std::string inside = path("missing/out.spa");
  EXPECT_EQ(save_to_file(at_path(spectrum({1}), inside), AP45_CLASS_ID), 0u);
  EXPECT_FALSE(testsupport::file_exists(inside));
}

TEST_F(SaveInAFormat, AFolderWithoutWritePermissionKeepsNoFile) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  std::filesystem::create_directory(path("locked"));
  std::filesystem::permissions(path("locked"), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  const std::string inside = path("locked/out.spa");
  EXPECT_EQ(save_to_file(at_path(spectrum({1}), inside), AP45_CLASS_ID), 0u);
  std::filesystem::permissions(path("locked"), std::filesystem::perms::owner_all);
  EXPECT_FALSE(testsupport::file_exists(inside));
}

TEST_F(SaveInAFormat, AFolderThatRefusesWritesKeepsNoFile) {
  APX_TurnonFileRedirection(&host_);
  EXPECT_EQ(save_to_file(at_path(spectrum({1, 2}), file_), AP45_CLASS_ID), 0u);
  EXPECT_FALSE(testsupport::file_exists(file_)) << "the file begun is deleted";
}

TEST_F(SaveInAFormat, AFullDiskKeepsNoFile) {
  limit_file_size(700);  // the header, the directory and the header block
  EXPECT_EQ(save_to_file(at_path(spectrum({1, 2, 3, 4}), file_), AP45_CLASS_ID), 0u);
  EXPECT_FALSE(testsupport::file_exists(file_));
}

TEST_F(SaveInAFormat, AnErrorLeftByAnEarlierCallDoesNotKeepAFailedFile) {
  leave_error(AP20_ERROR_INTERFEROGRAMS);
  limit_file_size(700);
  EXPECT_EQ(save_to_file(at_path(spectrum({1, 2, 3, 4}), file_), AP45_CLASS_ID), 0u);
  EXPECT_FALSE(testsupport::file_exists(file_));
}

TEST_F(SaveInAFormat, ASpectrumWrittenWholeWhoseInterferogramsFailedKeepsItsFile) {
  AP7_SPECTRUM* plain = at_path(spectrum({1, 2}), path("plain.spa"));
  ASSERT_EQ(save_to_file(plain, AP45_CLASS_ID), 1u);
  // It refers to a file that holds no interferograms.
  AP7_SPECTRUM* saved = at_path(spectrum({5, 6}), file_);
  ap7b_SetNameAndSubSpectra(saved, path("plain.spa").c_str(), nullptr, nullptr);
  EXPECT_EQ(save_to_file(saved, AP45_CLASS_ID), 0u);
  EXPECT_EQ(ap20_GetClassError(), AP20_ERROR_INTERFEROGRAMS);
  ASSERT_TRUE(testsupport::file_exists(file_));
  AP21_SPECTRUM_FILE* reader = named_spectrum_file(file_);
  ASSERT_EQ(open(reader, AP20_MODE_READ, 0).result, 1u);
  AP7_SPECTRUM* read = keep(ap_result_object<AP_OBJECT>(send(AP21_MSG_READ, reader)));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(spectrumtest::values(read), std::vector<float>({5, 6}));
}

// ---------------------------------------------------------------------------
// A region of a spectrum (message 208)

TEST_F(SaveInAFormat, RegionGoesToTheFormatObjectAndAFailureDeletesTheFile) {
  install_format(25, 0);
  AP7_SPECTRUM* saved = at_path(spectrum({1, 2}), path("region.txt"));
  AP7_SAVERANGEPARM parameter{25, 100.0f, 200.0f};
  EXPECT_EQ(send(AP7_MSG_SAVE_RANGE_TO_FILE, saved, &parameter), 0u) << "the test format writes no region";
  EXPECT_FALSE(testsupport::file_exists(path("region.txt")));
}

// ---------------------------------------------------------------------------
// A list of spectra

AP_OBJECT* title(const char* text) {
  AP_OBJECT* made = ap2_New_OBJ(AP43_CLASS_ID, nullptr);
  GU2_SetParmValue_MSG(made, AP43_TEXT_PARM, const_cast<char*>(text));
  return made;
}

// The list owns its members: the spectra added to it are the list's to
// destroy.
class SaveAList : public SaveInAFormat {
 protected:
  void SetUp() override {
    SaveInAFormat::SetUp();
    list_ = ap40_New_LLIST(nullptr, AP40_NO_KEY);
  }
  void TearDown() override {
    for (uint32_t index = 0; index < spectrumtest::list_count(list_); ++index)
      hand_over(reinterpret_cast<AP7_SPECTRUM*>(spectrumtest::list_member(list_, index)));
    ap40_Destroy_LLIST(list_, nullptr, 1);
    SaveInAFormat::TearDown();
  }
  AP40_LLIST* list_ = nullptr;
};

TEST_F(SaveAList, TheTitleNamesTheGroupFileAndLeavesTheList) {
  spfiletest::TestGroupClass& group = install_group_class();
  AP7_SPECTRUM* first = spectrum({1});
  AP7_SPECTRUM* second = spectrum({2});
  ap40_Add_LLIST(list_, reinterpret_cast<AP_OBJECT*>(first));
  ap40_Add_LLIST(list_, reinterpret_cast<AP_OBJECT*>(second));
  ap40_Add_LLIST(list_, title("C:\\out\\group.spg"));
  EXPECT_EQ(ap7d_SaveToFile(reinterpret_cast<AP_OBJECT*>(list_), AP52_CLASS_ID), 1u);
  EXPECT_EQ(group.name, "C:\\out\\group.spg");
  EXPECT_EQ(group.mode, AP20_MODE_CREATE);
  EXPECT_EQ(group.format_class, AP52_CLASS_ID);
  EXPECT_EQ(group.saved, (std::vector<AP_OBJECT*>{reinterpret_cast<AP_OBJECT*>(first), reinterpret_cast<AP_OBJECT*>(second)}));
  EXPECT_EQ(spectrumtest::list_count(list_), 2u) << "the spectra stay, the title is gone";
  EXPECT_FALSE(group.deleted);
}

TEST_F(SaveAList, TheListsOwnSaveMessageSavesIt) {
  spfiletest::TestGroupClass& group = install_group_class();
  AP7_SPECTRUM* only = spectrum({1});
  ap40_Add_LLIST(list_, reinterpret_cast<AP_OBJECT*>(only));
  ap40_Add_LLIST(list_, title("group.spg"));
  AP7_SAVEPARM format{AP52_CLASS_ID};
  EXPECT_EQ(GU2_DoMethod_MSG(AP40_MSG_SAVE_AS, list_, &format), 1u);
  EXPECT_EQ(group.saved, std::vector<AP_OBJECT*>{reinterpret_cast<AP_OBJECT*>(only)});
}

TEST_F(SaveAList, WithoutATitleNothingIsSaved) {
  spfiletest::TestGroupClass& group = install_group_class();
  ap40_Add_LLIST(list_, reinterpret_cast<AP_OBJECT*>(spectrum({1})));
  EXPECT_EQ(ap7d_SaveToFile(reinterpret_cast<AP_OBJECT*>(list_), AP52_CLASS_ID), 0u);
  EXPECT_TRUE(group.saved.empty());
  EXPECT_EQ(group.name, "");
}

TEST_F(SaveAList, AFailedGroupSaveDeletesItsFile) {
  spfiletest::TestGroupClass& group = install_group_class();
  group.save_answer = 0;
  ap40_Add_LLIST(list_, reinterpret_cast<AP_OBJECT*>(spectrum({1})));
  ap40_Add_LLIST(list_, title("group.spg"));
  EXPECT_EQ(ap7d_SaveToFile(reinterpret_cast<AP_OBJECT*>(list_), AP52_CLASS_ID), 0u);
  EXPECT_TRUE(group.deleted);
}

TEST_F(SaveAList, WithoutTheGroupFileClassTheListStaysAsItWas) {
  ap40_Add_LLIST(list_, reinterpret_cast<AP_OBJECT*>(spectrum({1})));
  ap40_Add_LLIST(list_, title("group.spg"));
  AP_DISPATCHER group_files = GU2_ImmedSetDispatcher(AP51_CLASS_ID, nullptr);
  EXPECT_EQ(ap7d_SaveToFile(reinterpret_cast<AP_OBJECT*>(list_), AP52_CLASS_ID), 0u);
  GU2_ImmedSetDispatcher(AP51_CLASS_ID, group_files);
  EXPECT_EQ(spectrumtest::list_count(list_), 2u);
}

// ---------------------------------------------------------------------------
// A format class the file classes accept but this system does not install

// The open creates the file before it makes the format object; the failed
// open must not leave that file, nor harm one that was there.
TEST_F(SaveAList, AFormatWithoutADispatcherLeavesNoNewFileAndKeepsAnOldOne) {
  struct Case {
    const char* name;
    bool list;              // a list through a group-file object, else a spectrum
    uint16_t format_class;  // accepted by that file class, no dispatcher here
    const char* before;     // the file's content before the save, null when absent
  } cases[] = {
      {"spectrum, new file", false, AP21_FORMAT_NO_INTERFEROGRAMS, nullptr},
      {"spectrum, old file", false, AP21_FORMAT_NO_INTERFEROGRAMS, "kept bytes"},
      {"list, new file", true, AP51_FORMAT_OTHER_GROUP, nullptr},
      {"list, old file", true, AP51_FORMAT_OTHER_GROUP, "kept bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(GU2_GetDispatcher(c.format_class), nullptr);
    if (c.before != nullptr) testsupport::write_file(file_, c.before);
    uint32_t saved = 0;
    if (c.list) {
      AP40_LLIST* list = ap40_New_LLIST(nullptr, AP40_NO_KEY);
      ap40_Add_LLIST(list, reinterpret_cast<AP_OBJECT*>(hand_over(spectrum({1, 2}))));
      ap40_Add_LLIST(list, title(file_.c_str()));
      saved = ap7d_SaveToFile(reinterpret_cast<AP_OBJECT*>(list), c.format_class);
      ap40_Destroy_LLIST(list, nullptr, 1);
    } else {
      saved = ap7d_SaveToFile(reinterpret_cast<AP_OBJECT*>(at_path(spectrum({1, 2}), file_)), c.format_class);
    }
    EXPECT_EQ(saved, 0u);
    if (c.before == nullptr) {
      EXPECT_FALSE(testsupport::file_exists(file_));
    } else {
      ASSERT_TRUE(testsupport::file_exists(file_));
      EXPECT_EQ(testsupport::read_file(file_), c.before);
    }
    EXPECT_EQ(APX_GetClassTable()->classes[AP21_CLASS_ID].live, 0);
    EXPECT_EQ(APX_GetClassTable()->classes[AP51_CLASS_ID].live, 0);
    std::remove(file_.c_str());
  }
}

// ---------------------------------------------------------------------------
// A group on a disk with too little room

class SaveAGroupOnAFullDisk : public SaveAList {
 protected:
  void TearDown() override {
    platform::set_free_space_limit(std::nullopt);
    SaveAList::TearDown();
  }
  // Bytes the group format reckons for the list as it stands.
  uint64_t needed_bytes() {
    AP52_SIZING sizing{};
    EXPECT_EQ(ap52_SizeGroup(reinterpret_cast<AP_OBJECT*>(list_), UINT64_MAX, &sizing), 1u);
    return sizing.bytes;
  }
  // The members of the group file, read back through a group-file object.
  uint32_t members_in(const std::string& name) {
    AP_OBJECT* group = ap2_New_OBJ(AP51_CLASS_ID, nullptr);
    AP20_NAMEPARM naming{nullptr, name.c_str()};
    uint16_t class_id = 0, code = 0;
    AP21_OPENPARM open{AP20_MODE_READ, &class_id, &code};
    uint32_t count = 0;
    if (send(AP20_MSG_SET_NAME, group, &naming) != 0 && send(AP21_MSG_OPEN, group, &open) != 0)
      count = send(AP51_MSG_MEMBER_COUNT, group);
    AP_WINDOWPARM none{nullptr, 0};
    send(AP_MSG_DESTROY, group, &none);
    return count;
  }
};

TEST_F(SaveAGroupOnAFullDisk, TooLittleRoomFailsWith5000AndLeavesNoFileJustEnoughSaves) {
  for (float seed : {1.0f, 2.0f, 3.0f}) ap40_Add_LLIST(list_, reinterpret_cast<AP_OBJECT*>(spectrum({seed, seed})));
  const uint64_t needed = needed_bytes();
  struct Case {
    uint64_t free_bytes;
    uint32_t saved;
  } cases[] = {{0, 0}, {needed - 1, 0}, {needed, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.free_bytes);
    leave_error(0);
    platform::set_free_space_limit(c.free_bytes);
    ap40_Add_LLIST(list_, title(file_.c_str()));
    EXPECT_EQ(ap7d_SaveToFile(reinterpret_cast<AP_OBJECT*>(list_), AP52_CLASS_ID), c.saved);
    EXPECT_EQ(ap20_GetClassError(), c.saved ? 0 : static_cast<int32_t>(AP20_ERROR_DISK_FULL));
    EXPECT_EQ(testsupport::file_exists(file_), c.saved == 1);
    platform::set_free_space_limit(std::nullopt);
    if (c.saved) {
      EXPECT_EQ(members_in(file_), 3u);
    }
    EXPECT_EQ(spectrumtest::list_count(list_), 3u);
    std::remove(file_.c_str());
  }
}

TEST_F(SaveInAFormat, AnObjectOfAnotherClassIsNotSaved) {
  AP_OBJECT* text = ap2_New_OBJ(AP48_CLASS_ID, nullptr);
  EXPECT_EQ(ap7d_SaveToFile(text, AP45_CLASS_ID), 0u);
  AP_WINDOWPARM none{nullptr, 0};
  send(AP_MSG_DESTROY, text, &none);
}

}  // namespace
