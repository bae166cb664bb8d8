// What the GAML writer tests share: the server, the reader and the writer
// registered by their own DllRegisterServer, as `gaml2kov register` does;
// "GAML2KOV.FileCnvt" and the export converter created through
// CoCreateInstance; native files made and read back with the library in the
// test's own process.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "components/gamlwriter/gamlwriter.h"
#include "converter/converter_support.h"
#include "files/group_files_fixture.h"
#include "tools/readback.h"

namespace exporttest {

using convertertest::ComRef;
using convertertest::text;

class GamlExport : public groupfiletest::GroupFiles {
 protected:
  void SetUp() override {
    GroupFiles::SetUp();
    for (const char* module : {GAML2KOV_MODULE, GAMLREADER_MODULE, GAMLWRITER_MODULE})
      ASSERT_EQ(convertertest::call_export(module, "DllRegisterServer"), S_OK) << module;
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(u"GAML2KOV.FileCnvt", &clsid), S_OK);
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IFileCnvt,
                               reinterpret_cast<void**>(importer_.out())),
              S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_GamlExportConverter, nullptr, CLSCTX_INPROC_SERVER, IID_IGamlExportConverter,
                               reinterpret_cast<void**>(exporter_.out())),
              S_OK);
  }
  void TearDown() override {
    importer_.reset();
    exporter_.reset();
    CoUninitialize();
    GroupFiles::TearDown();
  }

  // GAML to native through the converter, as a host converts.
  HRESULT import(const std::string& gaml, const std::string& native) {
    return importer_->ConvertFile(text(gaml).get(), text(u"GAML").get(), text(native).get(),
                                  text(u"KOV_TLVO").get(), nullptr);
  }

  // Native to GAML through the export converter, as the group-file class calls it.
  HRESULT export_gaml(const std::string& native, const std::string& gaml, const std::string& from = "KOV_TLVO",
                      const std::string& to = "GAML") {
    return exporter_->ConvertFile(text(native).get(), text(from).get(), text(gaml).get(), text(to).get(),
                                  text(std::string()).get());
  }

  // Saves the spectra as a native group file of the test.
  std::string save_group(const std::string& name, const std::vector<AP7_SPECTRUM*>& spectra) {
    AP40_LLIST* list = make_list();
    for (AP7_SPECTRUM* spectrum : spectra) add(list, spectrum);
    AP51_GROUP_FILE* group_file = named_group_file(path(name));
    EXPECT_EQ(open(group_file, AP20_MODE_CREATE, AP52_CLASS_ID).result, 1u);
    EXPECT_EQ(send(AP51_MSG_SAVE_GROUP, group_file, list), 1u);
    destroy(group_file);
    return path(name);
  }

  // A spectrum of the values, titled, with its X range.
  static AP7_SPECTRUM* spectrum(const std::string& title, const std::vector<float>& y, float first_x = 4000.0f,
                                float last_x = 400.0f) {
    AP7_SPECTRUM* made = make_spectrum(static_cast<uint32_t>(y.size()));
    std::string copy = title;
    ap7b_GetSetTitle(made, copy.data(), 0);
    std::copy(y.begin(), y.end(), ap7b_GetDataPtr(made));
    made->header->data.first_x = first_x;
    made->header->data.last_x = last_x;
    return made;
  }

  static std::vector<float> values(const AP7_SPECTRUM* spectrum) {
    const float* data = ap7b_GetDataPtr(spectrum);
    return std::vector<float>(data, data + spectrum->header->data.points);
  }

  // Files whose names start with `prefix` in the folder.
  static std::vector<std::string> files_named(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> found;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
      const std::string name = entry.path().filename().string();
      if (name.compare(0, prefix.size(), prefix) == 0) found.push_back(name);
    }
    return found;
  }

  ComRef<IFileCnvt> importer_;
  ComRef<IGamlExportConverter> exporter_;
};

}  // namespace exporttest
