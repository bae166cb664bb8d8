// gaml2kov: the host program, our stand-in for the workstation host. It
// registers and unregisters server modules in the registry store of
// $GAML2KOV_HOME, and converts or tests files through "GAML2KOV.FileCnvt",
// which it creates with CoCreateInstance as any COM host does. Before a
// conversion it checks what it can itself (the input opens and is a GAML
// document, the output folder exists and takes a new file), so that a user
// learns which of these is wrong. A failure is one line on standard error,
// naming the HRESULT and what it means where the server gave one, and a
// non-zero exit status.
#include <cstdio>
#include <cstring>
#include <string>

#include "converter/converter.h"
#include "platform/files.h"
#include "platform/modules.h"
#include "platform/profile.h"

namespace {

constexpr char kUsage[] =
    "usage: gaml2kov convert IN OUT         convert the GAML document IN into the native file OUT\n"
    "       gaml2kov validate FILE FORMAT   test whether FILE is in FORMAT (GAML or KOV_TLVO)\n"
    "       gaml2kov register MODULE        register the COM server MODULE (a path)\n"
    "       gaml2kov unregister MODULE      remove the registration of MODULE\n"
    "       gaml2kov --help                 show this text\n"
    "The registry store and the Windows folders live under $GAML2KOV_HOME (default ~/.gaml2kov).\n";

constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

struct Meaning {
  HRESULT result;
  const char* text;
};
constexpr Meaning kMeanings[] = {
    {S_OK, "success"},
    {S_FALSE, "success, with a negative answer"},
    {E_FAIL, "unspecified failure"},
    {E_NOTIMPL, "not implemented"},
    {E_NOINTERFACE, "the object does not offer the interface"},
    {E_POINTER, "a null pointer was passed"},
    {E_OUTOFMEMORY, "out of memory"},
    {E_INVALIDARG, "an argument is not valid"},
    {E_UNEXPECTED, "unexpected failure"},
    {REGDB_E_CLASSNOTREG, "the class is not registered"},
    {CO_E_CLASSSTRING, "the ProgID is not registered"},
    {CO_E_NOTINITIALIZED, "COM is not initialised"},
    {CO_E_DLLNOTFOUND, "the server module cannot be loaded"},
    {CO_E_ERRORINDLL, "the server module has no class objects"},
    {CLASS_E_CLASSNOTAVAILABLE, "the server module does not serve the class"},
    {CLASS_E_NOAGGREGATION, "the class cannot be aggregated"},
};

const char* meaning_of(HRESULT result) {
  for (const Meaning& meaning : kMeanings) {
    if (meaning.result == result) return meaning.text;
  }
  return "unknown error";
}

int fail(const std::string& what, HRESULT result) {
  std::fprintf(stderr, "gaml2kov: %s: 0x%08X (%s)\n", what.c_str(), static_cast<unsigned>(result), meaning_of(result));
  return kFailed;
}

int refuse(const std::string& what) {
  std::fprintf(stderr, "gaml2kov: %s\n", what.c_str());
  return kFailed;
}

// A path as the host hands it to the server: in full, so the server never
// depends on the host's current folder.
std::string full_path(const char* path) {
  char full[MAX_PATH];
  const DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
  return length > 0 && length < sizeof full ? std::string(full) : std::string(path);
}

// The ANSI text as a BSTR, freed with its owner.
class Text {
 public:
  explicit Text(const std::string& text) {
    std::u16string wide;
    for (unsigned char c : text) wide += static_cast<char16_t>(c);
    text_ = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  ~Text() { SysFreeString(text_); }
  BSTR get() const { return text_; }

 private:
  BSTR text_;
};

// The converter, created through the registry by its ProgID, for the life
// of the object; `created` tells how the creation went.
class Converter {
 public:
  Converter() {
    CoInitialize(nullptr);
    CLSID clsid;
    created = CLSIDFromProgID(u"GAML2KOV.FileCnvt", &clsid);
    if (SUCCEEDED(created)) {
      created = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IFileCnvt,
                                 reinterpret_cast<void**>(&converter_));
    }
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  ~Converter() {
    if (converter_ != nullptr) converter_->Release();
    CoUninitialize();
  }
  IFileCnvt* operator->() const { return converter_; }

  HRESULT created;

 private:
  IFileCnvt* converter_ = nullptr;
};

bool is_folder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Why the input cannot be read, or null when it can.
const char* input_problem(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    return nullptr;
  }
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "there is no such file";
    case ERROR_ACCESS_DENIED: return is_folder(path) ? "it is a folder" : "access is denied";
    case ERROR_SHARING_VIOLATION: return "another program holds it";
    default: return "it cannot be opened";
  }
}

// The folder part of a full path; a root ("/", "X:\\") keeps its separator.
std::string folder_of(const std::string& path) {
  const size_t separator = path.find_last_of("/\\");
  if (separator == std::string::npos) return ".";
  const bool root = separator == 0 || (separator == 2 && path[1] == ':');
  return path.substr(0, root ? separator + 1 : separator);
}

// Why no new file can be made in the folder, or null when one can: a
// temporary file made there and deleted again is the test.
const char* output_folder_problem(const std::string& folder) {
  if (GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES) return "does not exist";
  if (!is_folder(folder)) return "is not a folder";
  char probe[MAX_PATH] = {};
  if (GetTempFileNameA(folder.c_str(), "g2k", 0, probe) == 0) return "does not take new files";
  DeleteFileA(probe);
  return nullptr;
}

int convert(const char* in, const char* out) {
  const std::string input_path = full_path(in), output_path = full_path(out);
  if (const char* problem = input_problem(input_path))
    return refuse(std::string("cannot open the input ") + in + ": " + problem);
  const std::string folder = folder_of(output_path);
  if (const char* problem = output_folder_problem(folder))
    return refuse("the output folder " + folder + " " + problem);

  Converter converter;
  if (FAILED(converter.created)) return fail("cannot create GAML2KOV.FileCnvt", converter.created);
  Text input(input_path), output(output_path), gaml("GAML"), native("KOV_TLVO"), extra("");
  // The input opens, so a refused format test means the content is not GAML.
  const HRESULT format = converter->ValidateFormat(input.get(), gaml.get());
  if (format == E_FAIL) return refuse(std::string(in) + " is not a GAML document");
  if (format != S_OK) return fail(std::string("cannot test the format of ") + in, format);
  const HRESULT result = converter->ConvertFile(input.get(), gaml.get(), output.get(), native.get(), extra.get());
  if (result != S_OK) return fail(std::string("cannot convert ") + in + " to " + out, result);
  return 0;
}

int validate(const char* file, const char* format) {
  Converter converter;
  if (FAILED(converter.created)) return fail("cannot create GAML2KOV.FileCnvt", converter.created);
  Text path(full_path(file)), code(format);
  const HRESULT result = converter->ValidateFormat(path.get(), code.get());
  if (result != S_OK) return fail(std::string(file) + " is not a " + format + " file", result);
  std::printf("%s is a %s file\n", file, format);
  return 0;
}

// Loads the module and calls its DllRegisterServer or DllUnregisterServer.
int run_registration(const char* module_path, const char* entry, const char* done) {
  const std::string path = full_path(module_path);
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) return fail(std::string("cannot load ") + module_path, CO_E_DLLNOTFOUND);
  auto call = reinterpret_cast<DllRegisterServerFn>(GetProcAddress(module, entry));
  const HRESULT result = call != nullptr ? call() : CO_E_ERRORINDLL;
  FreeLibrary(module);
  if (result != S_OK) return fail(std::string(entry) + " of " + module_path + " failed", result);
  std::printf("%s %s\n", module_path, done);
  return 0;
}

// A new home gets the international settings of a typical machine, so that
// the exchange formats read what other programs write (comma-separated X-Y
// pairs). A home whose WIN.INI has an "intl" section keeps it as it is.
void set_up_home() {
  char keys[256] = {};
  if (GetProfileStringA("intl", nullptr, "", keys, sizeof keys) != 0) return;
  WriteProfileStringA("intl", "sDecimal", ".");
  WriteProfileStringA("intl", "sList", ",");
  WriteProfileStringA("intl", "sThousand", ",");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "--help" || command == "-h") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  set_up_home();
  if (command == "convert" && argc == 4) return convert(argv[2], argv[3]);
  if (command == "validate" && argc == 4) return validate(argv[2], argv[3]);
  if (command == "register" && argc == 3) return run_registration(argv[2], "DllRegisterServer", "registered");
  if (command == "unregister" && argc == 3) return run_registration(argv[2], "DllUnregisterServer", "unregistered");
  std::fputs(kUsage, stderr);
  return kBadUsage;
}
