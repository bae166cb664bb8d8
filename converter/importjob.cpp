// The import job's frame: checking the source and the target folder,
// creating the GAML reader and loading the document, counting the traces,
// and the walk over them that ends in one save, a single-spectrum file for
// one trace or a group file for several. FileCnvt runs one job per
// ConvertFile; the trace importers fill the spectra.
#include "converter/importjob.h"

#include <memory>
#include <new>

#include "apcomlib/spectrum/spectrum.h"
#include "apcomlib/util/util.h"
#include "platform/files.h"

namespace converter {
namespace {

// The reader is asked for in any class context a host could serve it from.
constexpr DWORD kReaderContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER |
                                 CLSCTX_REMOTE_SERVER;
constexpr LONG kLoadFlags = 2;
constexpr uint16_t kGroupFormat = 52;
constexpr char kProbePrefix[] = "~qx";
// The longest target a spectrum's path field holds, and the longest the
// title that carries a group's target holds, both without the terminator.
constexpr size_t kLongestSpectrumPath = MAX_PATH - 1;
constexpr size_t kLongestGroupPath = AP43_TEXT_SIZE - 1;
constexpr size_t kTitleBuffer = 261;

// Whether the file exists and is not a folder.
HRESULT SourceFileExists(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return E_FAIL;
  FindClose(search);
  return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ? S_OK : E_FAIL;
}

bool is_separator(char c) { return c == '\\' || c == '/'; }

// A folder path ends in a separator (mode 1) or in none.
void SetTrailingBackslash(std::string* path, int mode) {
  const bool has = !path->empty() && is_separator(path->back());
  if (mode == 1 && !has) *path += '\\';
  if (mode != 1 && has) path->pop_back();
}

bool first_entry_is_folder(const std::string& pattern) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

HRESULT FolderExists(std::string path) {
  if (path.size() < 2) return E_FAIL;
  if (path.size() >= 4) {
    SetTrailingBackslash(&path, 0);
  } else if (path.size() == 3) {
    // A drive root: its first entry must be a folder.
    if (path[1] != ':' || !is_separator(path[2])) return E_FAIL;
    return first_entry_is_folder(path + "*") ? S_OK : E_FAIL;
  } else if (path != "\\\\") {
    return E_FAIL;
  }
  return first_entry_is_folder(path) ? S_OK : E_FAIL;
}

void SplitPath(const std::string& path, std::string* drive, std::string* folder) {
  char drive_part[GU4_DRIVE_SIZE] = {};
  char folder_part[GU4_DIR_SIZE] = {};
  char name[GU4_FNAME_SIZE] = {};
  char extension[GU4_EXT_SIZE] = {};
  GU4_splitpathtrueSafe(path.c_str(), drive_part, folder_part, name, extension, sizeof drive_part,
                        sizeof folder_part, sizeof name, sizeof extension);
  *drive = drive_part;
  *folder = folder_part;
}

// The target's folder must exist and take a new file: a probe file made
// there must be found again, and goes. When no probe can be made the
// folder's existence decides.
HRESULT CheckTargetFolder(const std::string& target) {
  std::string drive, folder;
  SplitPath(target, &drive, &folder);
  std::string probe_folder = drive + folder;
  SetTrailingBackslash(&probe_folder, 1);
  const HRESULT exists = FolderExists(probe_folder);
  if (FAILED(exists)) return exists;
  char probe[MAX_PATH] = {};
  if (GetTempFileNameA(probe_folder.c_str(), kProbePrefix, 0, probe) == 0) return exists;
  const HRESULT found = SourceFileExists(probe);
  if (SUCCEEDED(found)) DeleteFileA(probe);
  return found;
}

// Any failure on the way is reported, never thrown on.
template <class Call>
HRESULT failing_on_exception(Call call) {
  try {
    return call();
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace

// The reader is called in the host's apartment; this module's COM layer
// learns of that apartment by entering it once more for the job's life.
CGamlImportJob::CGamlImportJob() : y_units_(8), in_apartment_(SUCCEEDED(CoInitialize(nullptr))) {}

CGamlImportJob::~CGamlImportJob() {
  reader_.reset();
  if (in_apartment_) CoUninitialize();
}

HRESULT CGamlImportJob::Open(Bstr source, Bstr target) {
  return failing_on_exception([&] {
    if (FAILED(SourceFileExists(ansi_text(source.get())))) return E_FAIL;
    source_ = std::move(source);
    if (FAILED(CheckTargetFolder(ansi_text(target.get())))) return E_FAIL;
    target_ = std::move(target);
    HRESULT result = CoCreateInstance(CLSID_GamlReader, nullptr, kReaderContext, IID_IGamlReader,
                                      reinterpret_cast<void**>(reader_.out()));
    if (result != S_OK) return result;
    VARIANT options;
    SetVariantLong(&options, 0);
    LONG flags = kLoadFlags;
    return reader_->Load(source_.get(), options, &flags);
  });
}

HRESULT CGamlImportJob::GetTraceCount(LONG* count) {
  if (count == nullptr) return E_FAIL;
  *count = 1;
  if (!reader_) return E_FAIL;
  return failing_on_exception([&] {
    ComRef<IGamlCollection> traces;
    const HRESULT result = reader_->get_Traces(traces.out());
    if (FAILED(result)) return result;
    if (FAILED(traces->get_Count(count))) *count = 1;
    return S_OK;
  });
}

namespace {

// Trace `index` of the reader's traces.
HRESULT trace_at(IGamlReader* reader, LONG index, ComRef<IGamlTrace>* trace) {
  ComRef<IGamlCollection> traces;
  HRESULT result = reader->get_Traces(traces.out());
  if (FAILED(result)) return result;
  VARIANT at;
  CGamlImportJob::SetVariantLong(&at, index);
  ComRef<IDispatch> item;
  result = traces->Item(at, item.out());
  if (FAILED(result)) return result;
  return item->QueryInterface(IID_IGamlTrace, reinterpret_cast<void**>(trace->out()));
}

}  // namespace

HRESULT CGamlImportJob::ConvertTraces() {
  LONG count = 1;
  HRESULT result = GetTraceCount(&count);
  if (FAILED(result)) return result;
  if (count < 0) return E_FAIL;
  const std::string target = ansi_text(target_.get());
  if (count == 1) {
    if (target.size() > kLongestSpectrumPath) return E_FAIL;
    CGamlSpectrum spectrum;
    if (spectrum.GetSpectrum() == nullptr) return E_FAIL;
    ComRef<IGamlTrace> trace;
    result = trace_at(reader_.get(), 0, &trace);
    if (SUCCEEDED(result)) result = ImportTrace(trace.get(), &spectrum);
    if (FAILED(result)) return result;
    return spectrum.SaveAs(target_.text()) ? S_OK : E_FAIL;
  }
  if (target.size() > kLongestGroupPath) return E_FAIL;
  AP40_LLIST* list = ap40_New_LLIST(nullptr, AP40_NO_KEY);
  if (list == nullptr) return E_FAIL;
  std::unique_ptr<CGamlSpectrum[]> spectra(new (std::nothrow) CGamlSpectrum[static_cast<size_t>(count)]);
  if (!spectra) {
    ap40_Destroy_LLIST(list, nullptr, 0);
    return E_FAIL;
  }
  result = SaveGroup(spectra.get(), count, list);
  spectra.reset();
  ap40_Destroy_LLIST(list, nullptr, 0);
  return result;
}

// Imports every trace into its wrapper and lists the spectra that came out
// whole; a trace that fails is left out, unless it is the last one. The
// list gets the target in a title as its last member and is saved as a
// group.
HRESULT CGamlImportJob::SaveGroup(CGamlSpectrum* spectra, LONG count, AP40_LLIST* list) {
  HRESULT last = S_OK;
  for (LONG i = 0; i < count; ++i) {
    ComRef<IGamlTrace> trace;
    last = trace_at(reader_.get(), i, &trace);
    if (SUCCEEDED(last)) last = ImportTrace(trace.get(), &spectra[i]);
    if (SUCCEEDED(last) && ap40_Add_LLIST(list, spectra[i].GetSpectrum()) == AP40_NO_INDEX) return E_FAIL;
  }
  if (last != S_OK) return E_FAIL;
  uint16_t title_class = AP43_CLASS_ID;
  AP_NEWPARM fresh{AP43_CLASS_ID, nullptr};
  auto* title = ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP_MSG_NEW, &title_class, &fresh));
  if (title == nullptr) return E_FAIL;
  char path[kTitleBuffer] = {};
  capobj_StrCopyN(ansi_text(target_.get()).c_str(), path, sizeof path);
  GU2_PARMVALUE text{AP43_TEXT_PARM, path, 1};
  if (GU2_DoMethod_MSG(GU2_MSG_SET_PARM_VALUE, title, &text) == 0 || ap40_Add_LLIST(list, title) == AP40_NO_INDEX) {
    AP_WINDOWPARM window{nullptr, 0};
    GU2_DoMethod_MSG(AP_MSG_DESTROY, title, &window);
    return E_FAIL;
  }
  return ap7d_SaveToFile(reinterpret_cast<AP_OBJECT*>(list), kGroupFormat) != 0 ? S_OK : E_FAIL;
}

}  // namespace converter
