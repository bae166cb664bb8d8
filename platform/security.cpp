// Identifiers, access lists and descriptors as byte records, and a file's
// access list over its permission bits (see platform/security.h).
//
// Records are read and written with memcpy at byte offsets: callers hand in
// blocks of any alignment, and an identifier's sub-authorities run past the
// declared size of its record.
#include "platform/security.h"

#include <sys/stat.h>

#include <cstring>
#include <initializer_list>
#include <new>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/home.h"

namespace {

constexpr size_t kSidHeaderBytes = 8;
constexpr size_t kAllowedAceHeaderBytes = 8;  // header and mask before the identifier
constexpr BYTE kUnixAuthority = 22;           // S-1-22-1-uid users, S-1-22-2-gid groups
constexpr DWORD kUnixUsers = 1;
constexpr DWORD kUnixGroups = 2;

template <typename Record>
Record read_record(const void* at) {
  Record record;
  std::memcpy(&record, at, sizeof record);
  return record;
}

template <typename Record>
void write_record(void* at, const Record& record) {
  std::memcpy(at, &record, sizeof record);
}

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

std::vector<BYTE> sid_bytes(BYTE authority, std::initializer_list<DWORD> sub_authorities) {
  std::vector<BYTE> sid(kSidHeaderBytes + 4 * sub_authorities.size(), 0);
  sid[0] = SID_REVISION;
  sid[1] = static_cast<BYTE>(sub_authorities.size());
  sid[7] = authority;
  size_t at = kSidHeaderBytes;
  for (const DWORD sub_authority : sub_authorities) {
    std::memcpy(sid.data() + at, &sub_authority, 4);
    at += 4;
  }
  return sid;
}

// The entries of a list in use, checked to lie inside it; false for a list
// whose entries run past its size.
bool acl_bytes_in_use(const ACL* acl, DWORD* used) {
  const ACL header = read_record<ACL>(acl);
  DWORD at = sizeof(ACL);
  for (WORD i = 0; i < header.AceCount; ++i) {
    if (at + sizeof(ACE_HEADER) > header.AclSize) return false;
    const ACE_HEADER entry = read_record<ACE_HEADER>(reinterpret_cast<const BYTE*>(acl) + at);
    if (entry.AceSize < sizeof(ACE_HEADER) || at + entry.AceSize > header.AclSize) return false;
    at += entry.AceSize;
  }
  *used = at;
  return true;
}

bool valid_acl(const ACL* acl) {
  if (acl == nullptr) return false;
  const ACL header = read_record<ACL>(acl);
  DWORD used = 0;
  return header.AclRevision == ACL_REVISION && header.AclSize >= sizeof(ACL) && acl_bytes_in_use(acl, &used);
}

// Byte offset of entry `index`, or of the end for an index past the count.
DWORD acl_entry_offset(const ACL* acl, DWORD index) {
  const ACL header = read_record<ACL>(acl);
  DWORD at = sizeof(ACL);
  for (DWORD i = 0; i < index && i < header.AceCount; ++i)
    at += read_record<ACE_HEADER>(reinterpret_cast<const BYTE*>(acl) + at).AceSize;
  return at;
}

struct FileOwners {
  std::vector<BYTE> owner;
  std::vector<BYTE> group;
  std::vector<BYTE> everyone;
};

FileOwners owners_of(const struct stat& status) {
  return FileOwners{sid_bytes(kUnixAuthority, {kUnixUsers, static_cast<DWORD>(status.st_uid)}),
                    sid_bytes(kUnixAuthority, {kUnixGroups, static_cast<DWORD>(status.st_gid)}),
                    sid_bytes(SECURITY_WORLD_SID_AUTHORITY.Value[5], {SECURITY_WORLD_RID})};
}

// Read, write and execute bits (4, 2, 1) of one class and the access mask
// that grants them.
DWORD mask_of_bits(mode_t bits) {
  return ((bits & 4) ? GENERIC_READ : 0) | ((bits & 2) ? GENERIC_WRITE : 0) | ((bits & 1) ? GENERIC_EXECUTE : 0);
}

mode_t bits_of_mask(DWORD mask, bool folder) {
  const bool all = (mask & GENERIC_ALL) != 0;
  return ((all || (mask & GENERIC_READ)) ? 4 : 0) | ((all || (mask & GENERIC_WRITE)) ? 2 : 0) |
         (((all && folder) || (mask & GENERIC_EXECUTE)) ? 1 : 0);
}

void append_allowed(std::vector<BYTE>* entries, BYTE flags, DWORD mask, const BYTE* sid, size_t sid_length) {
  const size_t at = entries->size();
  entries->resize(at + kAllowedAceHeaderBytes + sid_length);
  write_record(entries->data() + at,
               ACE_HEADER{ACCESS_ALLOWED_ACE_TYPE, flags, static_cast<WORD>(kAllowedAceHeaderBytes + sid_length)});
  std::memcpy(entries->data() + at + sizeof(ACE_HEADER), &mask, 4);
  std::memcpy(entries->data() + at + kAllowedAceHeaderBytes, sid, sid_length);
}

// One entry for a class of permission bits that grants anything.
WORD append_class(std::vector<BYTE>* acl, const std::vector<BYTE>& sid, mode_t bits) {
  if (bits == 0) return 0;
  append_allowed(acl, 0, mask_of_bits(bits), sid.data(), sid.size());
  return 1;
}

bool stat_file(LPCSTR name, struct stat* status) {
  if (name == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (stat(platform::native_path(name).c_str(), status) != 0) {
    platform::set_last_error_from_errno();
    return false;
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Identifiers

BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority, BYTE count, DWORD sub0, DWORD sub1,
                              DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid) {
  if (authority == nullptr || sid == nullptr || count == 0 || count > 8) return fail(ERROR_INVALID_PARAMETER);
  const DWORD sub_authorities[8] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
  auto* bytes = new (std::nothrow) BYTE[kSidHeaderBytes + 4 * count];
  if (bytes == nullptr) return fail(ERROR_NOT_ENOUGH_MEMORY);
  bytes[0] = SID_REVISION;
  bytes[1] = count;
  std::memcpy(bytes + 2, authority->Value, sizeof authority->Value);
  std::memcpy(bytes + kSidHeaderBytes, sub_authorities, 4 * count);
  *sid = bytes;
  return TRUE;
}

LPVOID FreeSid(PSID sid) {
  delete[] static_cast<BYTE*>(sid);
  return nullptr;
}

BOOL IsValidSid(PSID sid) {
  const auto* bytes = static_cast<const BYTE*>(sid);
  return bytes != nullptr && bytes[0] == SID_REVISION && bytes[1] <= SID_MAX_SUB_AUTHORITIES ? TRUE : FALSE;
}

DWORD GetLengthSid(PSID sid) {
  return IsValidSid(sid) ? static_cast<DWORD>(kSidHeaderBytes + 4 * static_cast<const BYTE*>(sid)[1]) : 0;
}

BOOL EqualSid(PSID first, PSID second) {
  if (!IsValidSid(first) || !IsValidSid(second)) return fail(ERROR_INVALID_SID);
  SetLastError(ERROR_SUCCESS);
  const DWORD length = GetLengthSid(first);
  return length == GetLengthSid(second) && std::memcmp(first, second, length) == 0 ? TRUE : FALSE;
}

// ---------------------------------------------------------------------------
// Access lists

BOOL InitializeAcl(ACL* acl, DWORD size, DWORD revision) {
  if (acl == nullptr || revision != ACL_REVISION || size < sizeof(ACL) || size > 0xFFFF)
    return fail(ERROR_INVALID_PARAMETER);
  write_record(acl, ACL{static_cast<BYTE>(revision), 0, static_cast<WORD>(size), 0, 0});
  return TRUE;
}

BOOL GetAclInformation(ACL* acl, LPVOID information, DWORD size, ACL_INFORMATION_CLASS information_class) {
  if (information == nullptr || information_class != AclSizeInformation || size < sizeof(ACL_SIZE_INFORMATION))
    return fail(ERROR_INVALID_PARAMETER);
  DWORD used = 0;
  if (!valid_acl(acl) || !acl_bytes_in_use(acl, &used)) return fail(ERROR_INVALID_ACL);
  const ACL header = read_record<ACL>(acl);
  write_record(information, ACL_SIZE_INFORMATION{header.AceCount, used, header.AclSize - used});
  return TRUE;
}

BOOL AddAce(ACL* acl, DWORD revision, DWORD start, LPVOID entries, DWORD size) {
  if (!valid_acl(acl)) return fail(ERROR_INVALID_ACL);
  if (revision != ACL_REVISION || entries == nullptr) return fail(ERROR_INVALID_PARAMETER);
  // Count the entries handed in; they must fill `size` exactly.
  DWORD count = 0;
  DWORD at = 0;
  while (at < size) {
    if (at + sizeof(ACE_HEADER) > size) return fail(ERROR_INVALID_PARAMETER);
    const WORD entry_size = read_record<ACE_HEADER>(static_cast<const BYTE*>(entries) + at).AceSize;
    if (entry_size < sizeof(ACE_HEADER) || at + entry_size > size) return fail(ERROR_INVALID_PARAMETER);
    at += entry_size;
    ++count;
  }
  ACL header = read_record<ACL>(acl);
  DWORD used = 0;
  acl_bytes_in_use(acl, &used);
  if (used + size > header.AclSize || header.AceCount + count > 0xFFFF) return fail(ERROR_ALLOTTED_SPACE_EXCEEDED);
  auto* bytes = reinterpret_cast<BYTE*>(acl);
  const DWORD insert_at = acl_entry_offset(acl, start);
  std::memmove(bytes + insert_at + size, bytes + insert_at, used - insert_at);
  std::memcpy(bytes + insert_at, entries, size);
  header.AceCount = static_cast<WORD>(header.AceCount + count);
  write_record(acl, header);
  return TRUE;
}

BOOL GetAce(ACL* acl, DWORD index, LPVOID* entry) {
  if (!valid_acl(acl) || entry == nullptr || index >= read_record<ACL>(acl).AceCount)
    return fail(ERROR_INVALID_PARAMETER);
  *entry = reinterpret_cast<BYTE*>(acl) + acl_entry_offset(acl, index);
  return TRUE;
}

BOOL AddAccessAllowedAceEx(ACL* acl, DWORD revision, DWORD flags, DWORD mask, PSID sid) {
  if (!IsValidSid(sid)) return fail(ERROR_INVALID_SID);
  std::vector<BYTE> entry;
  append_allowed(&entry, static_cast<BYTE>(flags), mask, static_cast<const BYTE*>(sid), GetLengthSid(sid));
  return AddAce(acl, revision, MAXDWORD, entry.data(), static_cast<DWORD>(entry.size()));
}

// ---------------------------------------------------------------------------
// Descriptors

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) {
  if (descriptor == nullptr || revision != SECURITY_DESCRIPTOR_REVISION) return fail(ERROR_INVALID_PARAMETER);
  write_record(descriptor, SECURITY_DESCRIPTOR{static_cast<BYTE>(revision), 0, 0, nullptr, nullptr, nullptr, nullptr});
  return TRUE;
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, ACL* acl, BOOL defaulted) {
  if (descriptor == nullptr) return fail(ERROR_INVALID_PARAMETER);
  SECURITY_DESCRIPTOR record = read_record<SECURITY_DESCRIPTOR>(descriptor);
  if (record.Revision != SECURITY_DESCRIPTOR_REVISION || (record.Control & SE_SELF_RELATIVE))
    return fail(ERROR_INVALID_SECURITY_DESCR);
  record.Control = static_cast<WORD>(record.Control & ~(SE_DACL_PRESENT | SE_DACL_DEFAULTED));
  if (present) record.Control |= SE_DACL_PRESENT;
  if (present && defaulted) record.Control |= SE_DACL_DEFAULTED;
  record.Dacl = present ? acl : nullptr;
  write_record(descriptor, record);
  return TRUE;
}

BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL* present, ACL** acl, BOOL* defaulted) {
  if (descriptor == nullptr || present == nullptr || acl == nullptr || defaulted == nullptr)
    return fail(ERROR_INVALID_PARAMETER);
  const SECURITY_DESCRIPTOR record = read_record<SECURITY_DESCRIPTOR>(descriptor);
  if (record.Revision != SECURITY_DESCRIPTOR_REVISION) return fail(ERROR_INVALID_SECURITY_DESCR);
  *present = (record.Control & SE_DACL_PRESENT) ? TRUE : FALSE;
  *defaulted = (record.Control & SE_DACL_DEFAULTED) ? TRUE : FALSE;
  if (!*present) {
    *acl = nullptr;
  } else if (record.Control & SE_SELF_RELATIVE) {
    const DWORD offset = static_cast<DWORD>(reinterpret_cast<uintptr_t>(record.Dacl));
    *acl = offset != 0 ? reinterpret_cast<ACL*>(static_cast<BYTE*>(descriptor) + offset) : nullptr;
  } else {
    *acl = record.Dacl;
  }
  return TRUE;
}

// ---------------------------------------------------------------------------
// Files

BOOL GetFileSecurityA(LPCSTR name, SECURITY_INFORMATION requested, PSECURITY_DESCRIPTOR descriptor, DWORD size,
                      DWORD* needed) {
  struct stat status;
  if (needed == nullptr) return fail(ERROR_INVALID_PARAMETER);
  *needed = 0;
  if (!stat_file(name, &status)) return FALSE;
  std::vector<BYTE> bytes(sizeof(SECURITY_DESCRIPTOR), 0);
  SECURITY_DESCRIPTOR header{static_cast<BYTE>(SECURITY_DESCRIPTOR_REVISION), 0, SE_SELF_RELATIVE,
                             nullptr,
                             nullptr,
                             nullptr,
                             nullptr};
  if (requested & DACL_SECURITY_INFORMATION) {
    const FileOwners owners = owners_of(status);
    std::vector<BYTE> acl(sizeof(ACL), 0);
    const WORD count = static_cast<WORD>(append_class(&acl, owners.owner, (status.st_mode >> 6) & 7) +
                                         append_class(&acl, owners.group, (status.st_mode >> 3) & 7) +
                                         append_class(&acl, owners.everyone, status.st_mode & 7));
    write_record(acl.data(), ACL{static_cast<BYTE>(ACL_REVISION), 0, static_cast<WORD>(acl.size()), count, 0});
    header.Control |= SE_DACL_PRESENT;
    header.Dacl = reinterpret_cast<ACL*>(static_cast<uintptr_t>(bytes.size()));
    bytes.insert(bytes.end(), acl.begin(), acl.end());
  }
  write_record(bytes.data(), header);
  *needed = static_cast<DWORD>(bytes.size());
  if (descriptor == nullptr || size < bytes.size()) return fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(descriptor, bytes.data(), bytes.size());
  return TRUE;
}

BOOL SetFileSecurityA(LPCSTR name, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor) {
  BOOL present = FALSE, defaulted = FALSE;
  ACL* acl = nullptr;
  if (!(information & DACL_SECURITY_INFORMATION) || descriptor == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (!GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted)) return FALSE;
  if (!present || !valid_acl(acl)) return fail(ERROR_INVALID_ACL);
  struct stat status;
  if (!stat_file(name, &status)) return FALSE;
  const FileOwners owners = owners_of(status);
  const bool folder = S_ISDIR(status.st_mode);
  mode_t owner = 0, group = 0, others = 0;
  const WORD count = read_record<ACL>(acl).AceCount;
  for (DWORD i = 0; i < count; ++i) {
    LPVOID entry = nullptr;
    GetAce(acl, i, &entry);
    const ACE_HEADER header = read_record<ACE_HEADER>(entry);
    if (header.AceType != ACCESS_ALLOWED_ACE_TYPE || (header.AceFlags & INHERIT_ONLY_ACE) ||
        header.AceSize < kAllowedAceHeaderBytes + kSidHeaderBytes)
      continue;
    const DWORD mask = read_record<DWORD>(static_cast<BYTE*>(entry) + sizeof(ACE_HEADER));
    BYTE* sid = static_cast<BYTE*>(entry) + kAllowedAceHeaderBytes;
    const DWORD sid_length = GetLengthSid(sid);
    if (sid_length == 0 || sid_length > header.AceSize - kAllowedAceHeaderBytes) continue;
    auto is = [&](const std::vector<BYTE>& known) {
      return known.size() == sid_length && std::memcmp(sid, known.data(), sid_length) == 0;
    };
    if (is(owners.owner)) owner |= bits_of_mask(mask, folder);
    if (is(owners.group)) group |= bits_of_mask(mask, folder);
    if (is(owners.everyone)) others |= bits_of_mask(mask, folder);
  }
  // Everyone takes in the owner and the group too.
  const mode_t mode = (status.st_mode & 07000) | (owner | others) << 6 | (group | others) << 3 | others;
  if (chmod(platform::native_path(name).c_str(), mode) != 0) {
    platform::set_last_error_from_errno();
    return FALSE;
  }
  return TRUE;
}
