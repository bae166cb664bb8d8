// The FileCnvt object: the host's whole view of the converter. It keeps the
// host's callback object and the converter's name, tests whether a file is a
// GAML document or a native spectral file, and runs one import job per
// ConvertFile. Its dual interface answers late-bound calls by the member
// names and DISPIDs of the type library; ISupportErrorInfo says IFileCnvt.
// Created by the module's class factory (module.cpp).
#include "converter/filecnvt.h"

#include <cstring>
#include <new>
#include <string_view>

#include "converter/converter.h"
#include "converter/holders.h"
#include "converter/importjob.h"
#include "platform/files.h"

namespace converter {
namespace {

constexpr char16_t kGamlFormat[] = u"GAML";
constexpr char16_t kNativeFormat[] = u"KOV_TLVO";
constexpr char16_t kConverterName[] = u"GAML2KOV";

// A GAML document: "<GAML version=" at byte 39, in a file of at least 54 bytes.
constexpr DWORD kGamlTestSize = 54;
constexpr DWORD kGamlElementOffset = 39;
constexpr DWORD kGamlElementLength = 14;
constexpr char16_t kGamlElement[] = u"<GAML version=";

// A native file: the magic text, a zero byte, and file type 1 (one
// spectrum) or 10 (a group) at byte 288 of its 304-byte header, in a file of
// at least 305 bytes.
constexpr DWORD kNativeTestSize = 305;
constexpr DWORD kNativeHeaderSize = 304;
constexpr size_t kFileTypeOffset = 288;
constexpr uint16_t kSingleSpectrum = 1;
constexpr uint16_t kGroupOfSpectra = 10;
constexpr char kNativeMagic[] = "Spectral Data File\r\n";
constexpr size_t kMagicCompared = 30;

// Format codes and Automation names compare without regard to case (they are ASCII).
bool same_name(std::u16string_view name, std::u16string_view wanted) {
  if (name.size() != wanted.size()) return false;
  auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; };
  for (size_t i = 0; i < wanted.size(); ++i) {
    if (fold(name[i]) != fold(wanted[i])) return false;
  }
  return true;
}

bool same_code(BSTR code, std::u16string_view wanted) {
  return same_name(std::u16string_view(code, SysStringLen(code)), wanted);
}

// Whether the open file holds at least `bytes` bytes.
bool file_holds(HANDLE file, DWORD bytes) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file, &information)) return false;
  const uint64_t size = static_cast<uint64_t>(information.nFileSizeHigh) << 32 | information.nFileSizeLow;
  return size >= bytes;
}

bool is_gaml(HANDLE file) {
  char buffer[kGamlTestSize] = {};
  if (!file_holds(file, kGamlTestSize)) return false;
  for (DWORD i = 0; i < kGamlElementOffset; ++i) {
    DWORD skipped = 0;
    ReadFile(file, buffer, 1, &skipped, nullptr);
  }
  std::memset(buffer, 0, sizeof buffer);
  DWORD read = 0;
  const BOOL done = ReadFile(file, buffer, kGamlElementLength, &read, nullptr);
  OLECHAR text[kGamlTestSize] = {};
  MultiByteToWideChar(CP_ACP, 0, buffer, -1, text, kGamlTestSize);
  return done && read > 0 && std::u16string_view(text) == kGamlElement;
}

bool is_native(HANDLE file) {
  unsigned char buffer[kNativeTestSize] = {};
  if (!file_holds(file, kNativeTestSize)) return false;
  DWORD read = 0;
  if (!ReadFile(file, buffer, kNativeHeaderSize, &read, nullptr)) return false;
  uint16_t file_type;
  std::memcpy(&file_type, buffer + kFileTypeOffset, sizeof file_type);
  return (file_type == kSingleSpectrum || file_type == kGroupOfSpectra) &&
         std::strncmp(reinterpret_cast<const char*>(buffer), kNativeMagic, kMagicCompared) == 0;
}

// The type library's view of the interface: each member's DISPID, name,
// kind of call and parameter names in order.
struct Member {
  DISPID id;
  std::u16string_view name;
  WORD kind;
  std::u16string_view parameters[5];
  UINT parameter_count;
};
constexpr Member kMembers[] = {
    {DISPID_InitCallback, u"InitCallback", DISPATCH_METHOD, {u"pGCnvt"}, 1},
    {DISPID_ValidateFormat, u"ValidateFormat", DISPATCH_METHOD, {u"InputFile", u"Format"}, 2},
    {DISPID_ConvertFile,
     u"ConvertFile",
     DISPATCH_METHOD,
     {u"InputFile", u"InputFormat", u"OutputFile", u"OutputFormat", u"AdditionalParms"},
     5},
    {DISPID_ConverterName, u"ConverterName", DISPATCH_PROPERTYGET, {}, 0},
};

class FileCnvt final : public platform::ComObject<IFileCnvt>, public ISupportErrorInfo {
 public:
  FileCnvt() : ComObject(gaml_module().Locks()), name_(Bstr::from(kConverterName)) {}

  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (object != nullptr && iid == IID_ISupportErrorInfo) {
      AddRef();
      *object = static_cast<ISupportErrorInfo*>(this);
      return S_OK;
    }
    return ComObject::QueryInterface(iid, object);
  }
  ULONG AddRef() override { return ComObject::AddRef(); }
  ULONG Release() override { return ComObject::Release(); }

  HRESULT InterfaceSupportsErrorInfo(REFIID iid) override { return iid == IID_IFileCnvt ? S_OK : S_FALSE; }

  HRESULT InitCallback(IDispatch* pGCnvt) override {
    if (pGCnvt != nullptr) pGCnvt->AddRef();
    *callback_.out() = pGCnvt;
    return S_OK;
  }

  HRESULT ValidateFormat(BSTR InputFile, BSTR Format) override {
    return guarded([&] {
      if (InputFile == nullptr || Format == nullptr) return E_FAIL;
      const std::string path = ansi_text(InputFile);
      HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
      if (file == INVALID_HANDLE_VALUE) return E_FAIL;
      bool matches = false;
      if (same_code(Format, kGamlFormat)) {
        matches = is_gaml(file);
      } else if (same_code(Format, kNativeFormat)) {
        matches = is_native(file);
      }
      CloseHandle(file);
      return matches ? S_OK : E_FAIL;
    });
  }

  HRESULT ConvertFile(BSTR InputFile, BSTR InputFormat, BSTR OutputFile, BSTR OutputFormat, BSTR) override {
    return guarded([&] {
      if (InputFile == nullptr || InputFormat == nullptr || OutputFile == nullptr || OutputFormat == nullptr) {
        return E_FAIL;
      }
      if (!same_code(InputFormat, kGamlFormat) || !same_code(OutputFormat, kNativeFormat)) return E_FAIL;
      return RunImportJob(Bstr::copy_of(InputFile), Bstr::copy_of(OutputFile));
    });
  }

  HRESULT get_ConverterName(BSTR* pVal) override {
    if (pVal == nullptr) return E_POINTER;
    *pVal = Bstr::copy_of(name_.get()).release();
    return *pVal != nullptr ? S_OK : E_OUTOFMEMORY;
  }

  // The type library's information is not handed out: callers bind by name.
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return DISP_E_BADINDEX;
  }

  // The first name is a member's, the others its parameters', which get
  // their positions as DISPIDs.
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
    const Member* member = find_member(names[0]);
    HRESULT result = member != nullptr ? S_OK : DISP_E_UNKNOWNNAME;
    ids[0] = member != nullptr ? member->id : DISPID_UNKNOWN;
    for (UINT i = 1; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
      for (UINT p = 0; member != nullptr && p < member->parameter_count; ++p) {
        if (names[i] != nullptr && same_name(names[i], member->parameters[p])) ids[i] = static_cast<DISPID>(p);
      }
      if (ids[i] == DISPID_UNKNOWN) result = DISP_E_UNKNOWNNAME;
    }
    return result;
  }

  // Positional arguments only, each of the parameter's own type; the
  // member's HRESULT is the result.
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* arguments, VARIANT* result, EXCEPINFO*,
                 UINT* argument_error) override {
    const Member* member = nullptr;
    for (const Member& candidate : kMembers) {
      if (candidate.id == id) member = &candidate;
    }
    if (member == nullptr || (flags & member->kind) == 0) return DISP_E_MEMBERNOTFOUND;
    if (arguments == nullptr) return E_INVALIDARG;
    if (arguments->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (arguments->cArgs != member->parameter_count) return DISP_E_BADPARAMCOUNT;
    // Arguments arrive last one first.
    const VARTYPE wanted = id == DISPID_InitCallback ? VT_DISPATCH : VT_BSTR;
    for (UINT i = 0; i < arguments->cArgs; ++i) {
      if (arguments->rgvarg[i].vt != wanted) {
        if (argument_error != nullptr) *argument_error = i;
        return DISP_E_TYPEMISMATCH;
      }
    }
    auto text = [&](UINT parameter) { return arguments->rgvarg[arguments->cArgs - 1 - parameter].bstrVal; };
    switch (id) {
      case DISPID_InitCallback:
        return InitCallback(arguments->rgvarg[0].pdispVal);
      case DISPID_ValidateFormat:
        return ValidateFormat(text(0), text(1));
      case DISPID_ConvertFile:
        return ConvertFile(text(0), text(1), text(2), text(3), text(4));
      default: {
        Bstr name;
        const HRESULT got = get_ConverterName(name.out());
        if (SUCCEEDED(got) && result != nullptr) {
          VariantClear(result);
          result->vt = VT_BSTR;
          result->bstrVal = name.release();
        }
        return got;
      }
    }
  }

 private:
  bool answers(REFIID iid) const override { return iid == IID_IDispatch || iid == IID_IFileCnvt; }

  static const Member* find_member(const OLECHAR* name) {
    for (const Member& member : kMembers) {
      if (name != nullptr && same_name(name, member.name)) return &member;
    }
    return nullptr;
  }

  // Runs one import job from the source document to the target file. The
  // library must have started whole: a half-registered library makes no
  // spectra worth writing.
  HRESULT RunImportJob(Bstr source, Bstr target) {
    if (source.get() == nullptr || target.get() == nullptr) return E_FAIL;
    if (!gaml_module().LibraryReady()) return E_FAIL;
    CGamlImportJob job;
    const HRESULT opened = job.Open(Bstr::copy_of(source.get()), Bstr::copy_of(target.get()));
    return SUCCEEDED(opened) ? job.ConvertTraces() : opened;
  }

  ComRef<IDispatch> callback_;
  Bstr name_;
};

}  // namespace

HRESULT CreateFileCnvt(REFIID iid, void** object) {
  FileCnvt* made = new (std::nothrow) FileCnvt();
  if (made == nullptr) return E_OUTOFMEMORY;
  made->AddRef();
  const HRESULT result = made->QueryInterface(iid, object);
  made->Release();
  return result;
}

}  // namespace converter
