// The GAML export converter object: its ConvertFile reads a native spectral
// file with the accessory library linked into this module, builds the GAML
// document of its spectra (document.cpp) and saves it under a temporary name
// beside the output, which then replaces the output in one step; a failure
// removes the temporary file and leaves the output as it was. The library
// is started on the first conversion and stopped when the module goes.
// Created by the class factory (module.cpp); the group-file class calls it
// when a group is saved under a ".GAML" name.
#include "components/gamlwriter/converter.h"

#include <new>
#include <string>

#include <pugixml.hpp>

#include "apcomlib/core/core.h"
#include "components/gamlwriter/document.h"
#include "components/gamlwriter/gamlwriter.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/handles.h"

namespace gamlexport {

platform::ComModule& module() {
  static platform::ComModule instance;
  return instance;
}

namespace {

// The prefix of the document's temporary name beside the output.
constexpr char kTemporaryPrefix[] = "~gw";

// This module's copy of the accessory library, registered while it lives.
class Library {
 public:
  Library() : ready_(apcom_RegisterClasses(apcom_LibraryModule()) == 1 && GU1_Register_LL() == 1) {}
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  ~Library() {
    apcom_UnregisterClasses();
    GU1_UnRegister_LL();
  }
  bool ready() const { return ready_; }

 private:
  bool ready_;
};

// Made on the first conversion, after everything the module's start made,
// so that it goes before any of that.
bool library_ready() {
  static Library library;
  return library.ready();
}

std::string ansi(BSTR text) {
  const int length = static_cast<int>(SysStringLen(text));
  if (length == 0) return std::string();
  std::string converted(static_cast<size_t>(length) * 2, '\0');
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text, length, converted.data(), static_cast<int>(converted.size()),
                                        nullptr, nullptr);
  converted.resize(static_cast<size_t>(bytes > 0 ? bytes : 0));
  return converted;
}

bool is_format(BSTR text, const char* format) { return text != nullptr && _stricmp(ansi(text).c_str(), format) == 0; }

// The document's bytes into an open file; the first failed write is kept.
class FileWriter : public pugi::xml_writer {
 public:
  explicit FileWriter(HANDLE file) : file_(file) {}
  void write(const void* data, size_t size) override {
    DWORD written = 0;
    if (ok_ && (!WriteFile(file_, data, static_cast<DWORD>(size), &written, nullptr) || written != size)) ok_ = false;
  }
  bool ok() const { return ok_; }

 private:
  HANDLE file_;
  bool ok_ = true;
};

std::string folder_of(const std::string& path) {
  const size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? std::string(".") : path.substr(0, separator + 1);
}

// Saves the document as `output`, through a temporary file in its folder.
bool save(const pugi::xml_document& xml, const std::string& output) {
  char temporary[MAX_PATH];
  if (GetTempFileNameA(folder_of(output).c_str(), kTemporaryPrefix, 0, temporary) == 0) return false;
  HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool saved = file != INVALID_HANDLE_VALUE;
  if (saved) {
    FileWriter writer(file);
    xml.save(writer, "  ", pugi::format_indent, pugi::encoding_utf8);
    saved = writer.ok();
    saved = CloseHandle(file) && saved;
  }
  saved = saved && MoveFileExA(temporary, output.c_str(), MOVEFILE_REPLACE_EXISTING);
  if (!saved) DeleteFileA(temporary);
  return saved;
}

class ExportConverter : public platform::ComObject<IGamlExportConverter> {
 public:
  ExportConverter() : platform::ComObject<IGamlExportConverter>(module()) {}

  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }

  HRESULT ConvertFile(BSTR input, BSTR input_format, BSTR output, BSTR output_format, BSTR) override {
    if (SysStringLen(input) == 0 || SysStringLen(output) == 0 || !is_format(input_format, AP51_NATIVE_FORMAT) ||
        !is_format(output_format, AP51_GAML_FORMAT)) {
      return E_INVALIDARG;
    }
    try {
      readback::NativeFile native;
      if (!library_ready() || !readback::read(ansi(input), &native)) return E_FAIL;
      pugi::xml_document xml;
      build_document(native.spectra, &xml);
      return save(xml, ansi(output)) ? S_OK : E_FAIL;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

 private:
  bool answers(REFIID iid) const override { return iid == IID_IDispatch || iid == IID_IGamlExportConverter; }
};

}  // namespace

HRESULT create_converter(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  auto* converter = new (std::nothrow) ExportConverter;
  if (converter == nullptr) return E_OUTOFMEMORY;
  converter->AddRef();
  const HRESULT result = converter->QueryInterface(iid, object);
  converter->Release();
  return result;
}

}  // namespace gamlexport
