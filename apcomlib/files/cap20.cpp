// The file wrapper: CApFile over one AP20 FILE object, with a member per
// file message, the native open and close, and the signature support of
// the workstation's electronic-signature component: a signature section per
// member and the hash of a file's live sections. Not used by the system
// itself; part of the library's interface.
#include <cstring>

#include "files/files.h"
#include "platform/memory.h"

namespace {

// Texts cross as character buffers of at most 255 characters.
constexpr int32_t kTextBuffer = 256;
// Sections of other components that a signature does not cover.
constexpr uint16_t kUnsignedSection = 181;
constexpr uint32_t kSignatureBytes = 1024;

AP_OBJECT* new_file_object() {
  uint16_t class_id = AP20_CLASS_ID;
  AP_NEWPARM parameter{AP20_CLASS_ID, nullptr};
  return ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP_MSG_NEW, &class_id, &parameter));
}

AP_OBJECT* duplicate_file_object(AP_OBJECT* file) {
  if (file == nullptr) return nullptr;
  AP_WINDOWPARM window{nullptr, 0};
  return ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP_MSG_DUPLICATE, file, &window));
}

void destroy_file_object(AP_OBJECT* file, uint32_t window_argument) {
  if (file == nullptr) return;
  AP_WINDOWPARM window{reinterpret_cast<HWND>(window_argument), 0};
  GU2_DoMethod_MSG(AP_MSG_DESTROY, file, &window);
}

uint32_t send_to_class(uint16_t message, void* parameter) {
  uint16_t class_id = AP20_CLASS_ID;
  return GU2_DoMethod_MSG(message, &class_id, parameter);
}

bool to_ansi(const std::u16string& text, char* buffer) {
  return capobj_WideToMultiByte(text, buffer, kTextBuffer) != nullptr;
}

uint16_t member_key(int32_t member) { return member < 0 ? 0 : static_cast<uint16_t>(member); }

// The file's type when it is a native file.
bool native_type(AP_OBJECT* file, const char* path, uint16_t* file_type) {
  uint32_t error = 0;
  AP20_FORMATPARM format{path, file_type, &error};
  return GU2_DoMethod_MSG(AP20_MSG_FORMAT_TEST, file, &format) == 1;
}

// Positions the open native file at the member's signature section.
bool seek_signature(AP_OBJECT* object, uint16_t member) {
  AP20_FILE* file = ap20_file(object);
  if (file == nullptr || file->header == nullptr) return false;
  AP20_FINDPARM find{file->header, file->directory, AP20_SECTION_SIGNATURE, member, 0, nullptr};
  const uint32_t offset = GU2_DoMethod_MSG(AP20_MSG_SECTION_OFFSET, object, &find);
  AP20_SEEKPARM seek{static_cast<int32_t>(offset), FILE_BEGIN};
  return offset != 0 && GU2_DoMethod_MSG(AP20_MSG_SEEK, object, &seek) == 1;
}

bool hashed(const AP20_DIRENTRY& entry, int32_t member) {
  switch (entry.type) {
    case AP20_SECTION_FREE:
    case AP20_SECTION_RESERVOIR:
    case AP20_SECTION_SIGNATURE:
    case kUnsignedSection: return false;
    default: return entry.length != 0 && (member < 0 || entry.key2 == member);
  }
}

}  // namespace

CApFile::CApFile() { object_ = new_file_object(); }

CApFile::CApFile(const CApFile& other)
    : CApObjectBase(), native_state_(other.native_state_) {
  object_ = duplicate_file_object(other.object_);
}

CApFile& CApFile::operator=(const CApFile& other) {
  if (this == &other) return *this;
  destroy_file_object(object_, delete_argument_);
  object_ = duplicate_file_object(other.object_);
  native_state_ = other.native_state_;
  return *this;
}

CApFile::~CApFile() {
  if (object_ != nullptr && native_state_ != 0) CloseNative();
  destroy_file_object(object_, delete_argument_);
}

uint32_t CApFile::Send(uint16_t message, void* parameter) const {
  return object_ != nullptr ? GU2_DoMethod_MSG(message, object_, parameter) : 0;
}

bool CApFile::SendText(uint16_t message, const std::u16string& text) {
  char buffer[kTextBuffer];
  AP20_NAMEPARM naming{nullptr, buffer};
  return to_ansi(text, buffer) && Send(message, &naming) == 1;
}

bool CApFile::SetUserWord(uint16_t word) {
  AP_WORDPARM block{word};
  return Send(AP_MSG_SET_USER_WORD, &block) == 1;
}

bool CApFile::GetSize(uint32_t* bytes) const {
  const uint32_t size = Send(AP_MSG_SIZE, nullptr);
  if (bytes == nullptr || size == 0) return false;
  *bytes = size;
  return true;
}

bool CApFile::GetClassName(std::u16string& name) const {
  char buffer[kTextBuffer] = {};
  if (Send(AP_MSG_CLASS_NAME, buffer) != 1) return false;
  capobj_MultiByteToWide(buffer, name);
  return true;
}

bool CApFile::BeginChange() { return Send(AP_MSG_BEGIN_CHANGE, nullptr) == 1; }
bool CApFile::EndChange() { return Send(AP_MSG_END_CHANGE, nullptr) == 1; }

bool CApFile::GetChangeState(int16_t* state) const {
  if (object_ == nullptr || state == nullptr) return false;
  *state = static_cast<int16_t>(Send(AP_MSG_GET_CHANGE_STATE, nullptr));
  return true;
}

bool CApFile::AddDependentWindow(HWND window, uint16_t kind) {
  AP_DEPENDENTWINDOWPARM block{window, kind};
  return Send(AP_MSG_ADD_DEPENDENT_WINDOW, &block) == 1;
}

bool CApFile::RemoveDependent(HWND window) {
  AP_WINDOWPARM block{window, 0};
  return Send(AP_MSG_REMOVE_DEPENDENT, &block) == 1;
}

bool CApFile::Delete() { return Send(AP20_MSG_DELETE, nullptr) == 1; }
bool CApFile::Rename(const std::u16string& name) { return SendText(AP20_MSG_RENAME, name); }
bool CApFile::Rewind() { return Send(AP20_MSG_REWIND, nullptr) == 1; }

bool CApFile::Seek(int32_t offset, uint16_t origin) {
  AP20_SEEKPARM block{offset, origin};
  return Send(AP20_MSG_SEEK, &block) == 1;
}

bool CApFile::SeekToEnd() { return Send(AP20_MSG_SEEK_END, nullptr) == 1; }

bool CApFile::Read(void* buffer, uint32_t count, uint32_t* transferred) {
  if (buffer == nullptr || transferred == nullptr) return false;
  AP20_TRANSFERPARM block{buffer, count};
  *transferred = Send(AP20_MSG_READ, &block);
  return *transferred == count;
}

bool CApFile::Write(const void* buffer, uint32_t count, uint32_t* transferred) {
  if (buffer == nullptr || transferred == nullptr) return false;
  AP20_TRANSFERPARM block{const_cast<void*>(buffer), count};
  *transferred = Send(AP20_MSG_WRITE, &block);
  return *transferred == count;
}

bool CApFile::Truncate() { return Send(AP20_MSG_TRUNCATE, nullptr) == 1; }

bool CApFile::Open(uint16_t mode) {
  AP20_OPENPARM block{mode, 0, 0};
  return Send(AP20_MSG_OPEN, &block) == 1;
}

bool CApFile::Close() { return Send(AP20_MSG_CLOSE, nullptr) == 1; }
bool CApFile::Exists() const { return Send(AP20_MSG_EXISTS, nullptr) == 1; }

bool CApFile::Reserve(uint32_t size, bool extend) {
  AP20_RESERVEPARM block{0, size, static_cast<uint16_t>(extend ? 1 : 0)};
  return Send(AP20_MSG_RESERVE, &block) == 1;
}

bool CApFile::Compare(const CApFile& other, uint32_t* position) {
  AP20_COMPAREPARM block{other.object_, position};
  return other.object_ != nullptr && Send(AP20_MSG_COMPARE, &block) == 1;
}

bool CApFile::IsOpen() const { return Send(AP20_MSG_IS_OPEN, nullptr) == 1; }

bool CApFile::GetLastError(uint32_t* code) const {
  if (object_ == nullptr || code == nullptr) return false;
  *code = Send(AP20_MSG_LAST_ERROR, nullptr);
  return true;
}

bool CApFile::SetName(const std::u16string& name) { return SendText(AP20_MSG_SET_NAME, name); }

bool CApFile::GetName(std::u16string& name) const {
  char buffer[AP20_NAME_SIZE] = {};
  if (Send(AP20_MSG_GET_NAME, buffer) != 1) return false;
  capobj_MultiByteToWide(buffer, name);
  return true;
}

// Sizes and positions answer all ones on failure.
bool CApFile::GetFileSize(uint32_t* bytes) const {
  const uint32_t size = Send(AP20_MSG_FILE_SIZE, nullptr);
  if (object_ == nullptr || bytes == nullptr || size == 0xFFFFFFFF) return false;
  *bytes = size;
  return true;
}

bool CApFile::GetPosition(uint32_t* position) const {
  const uint32_t at = Send(AP20_MSG_POSITION, nullptr);
  if (object_ == nullptr || position == nullptr || at == 0xFFFFFFFF) return false;
  *position = at;
  return true;
}

bool CApFile::GetOpenMode(uint16_t* mode) const {
  if (object_ == nullptr || mode == nullptr) return false;
  *mode = static_cast<uint16_t>(Send(AP20_MSG_OPEN_MODE, nullptr));
  return true;
}

bool CApFile::Reopen(uint16_t mode) {
  AP20_WORDPARM block{mode};
  return Send(AP20_MSG_REOPEN, &block) == 1;
}

bool CApFile::SplitName(std::u16string* drive, std::u16string* directory, std::u16string* base,
                        std::u16string* extension) const {
  char parts[4][kTextBuffer] = {};
  AP20_SPLITPARM block{nullptr, parts[0], parts[1], parts[2], parts[3]};
  if (Send(AP20_MSG_SPLIT_NAME, &block) != 1) return false;
  std::u16string* const out[] = {drive, directory, base, extension};
  for (int part = 0; part < 4; ++part) {
    if (out[part] != nullptr) capobj_MultiByteToWide(parts[part], *out[part]);
  }
  return true;
}

bool CApFile::SetError(uint16_t code) {
  AP20_WORDPARM block{code};
  return Send(AP20_MSG_SET_ERROR, &block) == 1;
}

bool CApFile::GetClassError(int32_t* code) const {
  if (object_ == nullptr || code == nullptr) return false;
  *code = static_cast<int32_t>(Send(AP20_MSG_CLASS_ERROR, nullptr));
  return true;
}

bool CApFile::FormatTest(const std::u16string& path, uint16_t* file_type) const {
  char name[kTextBuffer];
  return object_ != nullptr && file_type != nullptr && to_ansi(path, name) && native_type(object_, name, file_type);
}

bool CApFile::FindFirst(const std::u16string& pattern, GU4_FINDDATA* found) {
  char text[kTextBuffer];
  AP20_FINDFIRSTPARM block{text, found};
  return found != nullptr && to_ansi(pattern, text) && send_to_class(AP20_MSG_FIND_FIRST, &block) == 1;
}

bool CApFile::FindNext(GU4_FINDDATA* found) {
  return found != nullptr && send_to_class(AP20_MSG_FIND_NEXT, found) == 1;
}

bool CApFile::FindClose() { return send_to_class(AP20_MSG_FIND_CLOSE, nullptr) == 1; }

bool CApFile::DirectoryExists(const std::u16string& path) {
  char text[kTextBuffer];
  return to_ansi(path, text) && send_to_class(AP20_MSG_DIRECTORY_EXISTS, text) == 1;
}

bool CApFile::MakeDirectories(const std::u16string& path) {
  char text[kTextBuffer];
  return to_ansi(path, text) && send_to_class(AP20_MSG_MAKE_DIRECTORIES, text) == 1;
}

uint16_t CApFile::OpenNative(const std::u16string& path, uint16_t message) {
  char name[kTextBuffer];
  uint16_t file_type = 0;
  if (object_ == nullptr || (message != AP20_MSG_OPEN_NATIVE_READ && message != AP20_MSG_OPEN_NATIVE) ||
      !to_ansi(path, name) || !native_type(object_, name, &file_type)) {
    return AP20_NATIVE_FAILED;
  }
  AP20_NATIVEPARM block{name, 0, file_type};
  if (Send(message, &block) != AP20_NATIVE_OPENED) {
    Send(AP20_MSG_CLOSE_NATIVE, nullptr);
    return AP20_NATIVE_FAILED;
  }
  native_state_ = message;
  return AP20_NATIVE_OPENED;
}

uint16_t CApFile::CloseNative() {
  if (object_ == nullptr) return 1;
  if (native_state_ == AP20_MSG_OPEN_NATIVE_READ) Send(AP20_MSG_CLOSE_NATIVE, nullptr);
  if (native_state_ == AP20_MSG_OPEN_NATIVE) Send(AP20_MSG_SAVE_NATIVE, nullptr);
  native_state_ = 0;
  return 0;
}

// Keyed, so that only the member's own earlier signature section is freed:
// the signatures of the other members of a group file stay.
uint16_t CApFile::CreateSignatureBlock(const std::u16string& path, int32_t member) {
  if (OpenNative(path, AP20_MSG_OPEN_NATIVE) != AP20_NATIVE_OPENED) return 1;
  ap20_owned_block block(GU3_Allocate_MM(kSignatureBytes, 1, GU3_KIND_GLOBAL));
  AP20_WRITEOPENPARM write{AP20_SECTION_SIGNATURE, kSignatureBytes, block.handle, 1, member_key(member), 0};
  if (block.handle == nullptr || Send(AP20_MSG_WRITE_OPEN_SECTION, &write) != 1 ||
      !seek_signature(object_, member_key(member))) {
    CloseNative();
    return 1;
  }
  return 0;
}

uint16_t CApFile::OpenSignatureBlock(const std::u16string& path, int32_t member) {
  if (OpenNative(path, AP20_MSG_OPEN_NATIVE_READ) != AP20_NATIVE_OPENED) return 1;
  return seek_signature(object_, member_key(member)) ? 0 : 1;
}

uint16_t CApFile::HashFile(HCRYPTHASH hash, const std::u16string& path, int32_t member) {
  if (path.empty()) return 1;
  CApFile wrapper;
  if (wrapper.OpenNative(path, AP20_MSG_OPEN_NATIVE_READ) != AP20_NATIVE_OPENED) return 1;
  AP20_FILE* file = wrapper.GetFile();
  for (uint32_t index = 0; index < file->header->count; ++index) {
    const AP20_DIRENTRY entry = file->directory[index];
    if (!hashed(entry, member)) continue;
    // This entry's own bytes, not the first with its keys.
    uint16_t at = static_cast<uint16_t>(index);
    uint32_t length = 0;
    ap20_owned_block section(
        ap20b_ReadSectionFrom(file, file->header, file->directory, entry.type, entry.key2, entry.key3, &at, &length));
    const auto* bytes = static_cast<const BYTE*>(section.data());
    if (bytes == nullptr || at != index || !CryptHashData(hash, bytes, length, 0)) return 1;
  }
  return 0;
}
