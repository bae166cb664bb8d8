// A group saved through the group-file class under a ".GAML" name goes to
// the registered export converter, whose conversion replaces the native
// group file with its GAML document: the converter reads that document
// back into the same spectra.
#include <filesystem>

#include "gamlwriter/export_fixture.h"

namespace exporttest {
namespace {

TEST_F(GamlExport, AGroupSavedUnderAGamlNameBecomesAGamlDocument) {
  const std::vector<std::vector<float>> expected = {{0.5f, -1.25f, 3.0e-20f}, {7.0f, 8.5f}};
  AP40_LLIST* list = make_list();
  for (size_t m = 0; m < expected.size(); ++m) {
    AP7_SPECTRUM* member = spectrum("member " + std::to_string(m), expected[m], 400.0f, 4000.0f);
    member->header->data.y_units = 17;
    add(list, member);
  }
  for (const char* name : {"group.GAML", "other.gaml"}) {
    AP51_GROUP_FILE* group_file = named_group_file(path(name));
    ASSERT_EQ(open(group_file, AP20_MODE_CREATE, AP52_CLASS_ID).result, 1u);
    ASSERT_EQ(send(AP51_MSG_SAVE_GROUP, group_file, list), 1u) << name;
    destroy(group_file);
    EXPECT_EQ(testsupport::read_file(path(name)).substr(39, 14), "<GAML version=") << name;
  }
  EXPECT_TRUE(files_named(testsupport::home() + "/temp", "~tv").empty());
  EXPECT_TRUE(files_named(testsupport::home(), "~gw").empty());

  ASSERT_EQ(import(path("group.GAML"), path("back.spg")), S_OK);
  readback::NativeFile back;
  ASSERT_TRUE(readback::read(path("back.spg"), &back));
  ASSERT_EQ(back.spectra.size(), expected.size());
  for (size_t m = 0; m < expected.size(); ++m) {
    const AP41_HEADERDATA& record = back.spectra[m].spectrum->header->data;
    EXPECT_STREQ(record.title, ("member " + std::to_string(m)).c_str());
    EXPECT_EQ(values(back.spectra[m].spectrum), expected[m]);
    EXPECT_EQ(packed(record.first_x), 400.0f);
    EXPECT_EQ(packed(record.last_x), 4000.0f);
    EXPECT_EQ(packed(record.x_units), 1u);
    EXPECT_EQ(packed(record.y_units), 17u);
  }
}

}  // namespace
}  // namespace exporttest
