// File security: security identifiers, discretionary access lists and
// security descriptors, with the calls that build and walk them, and the
// reading and setting of a file's access list over POSIX permission bits.
//
// A file's list is made from its mode: one access-allowed entry for its
// owner, one for its group and one for everyone, granting GENERIC_READ,
// GENERIC_WRITE and GENERIC_EXECUTE as the owner, group and other bits do.
// Setting a list maps the access-allowed entries of those three identifiers
// back to the bits (GENERIC_ALL grants read and write, and execute on a
// folder); what everyone is granted, the owner and the group are granted
// too. Entries for other identifiers cannot be kept and are passed over.
// The owner and group are S-1-22-1-uid and S-1-22-2-gid, the names file
// servers give Unix users and groups.
#pragma once
#include "platform/wintypes.h"

using PSID = void*;
using PSECURITY_DESCRIPTOR = void*;
using SECURITY_INFORMATION = DWORD;

constexpr DWORD GENERIC_EXECUTE = 0x20000000;
constexpr DWORD MAXDWORD = 0xFFFFFFFF;

constexpr DWORD ERROR_INVALID_ACL = 1336;
constexpr DWORD ERROR_INVALID_SID = 1337;
constexpr DWORD ERROR_INVALID_SECURITY_DESCR = 1338;
constexpr DWORD ERROR_ALLOTTED_SPACE_EXCEEDED = 1344;

constexpr SECURITY_INFORMATION DACL_SECURITY_INFORMATION = 0x4;

// Security identifier: revision 1, the count of sub-authorities, a 6-byte
// big-endian identifier authority, then the sub-authorities as u32; 8 + 4 ×
// count bytes.
struct SID_IDENTIFIER_AUTHORITY {
  BYTE Value[6];
};
constexpr BYTE SID_REVISION = 1;
constexpr BYTE SID_MAX_SUB_AUTHORITIES = 15;
constexpr SID_IDENTIFIER_AUTHORITY SECURITY_WORLD_SID_AUTHORITY = {{0, 0, 0, 0, 0, 1}};
constexpr DWORD SECURITY_WORLD_RID = 0;  // S-1-1-0, everyone

// Access list, 8-byte header followed by its entries.
//   0  1  revision (2)
//   1  1  0
//   2  2  size in bytes of the whole list
//   4  2  entry count
//   6  2  0
struct ACL {
  BYTE AclRevision;
  BYTE Sbz1;
  WORD AclSize;
  WORD AceCount;
  WORD Sbz2;
};
static_assert(sizeof(ACL) == 8);
constexpr DWORD ACL_REVISION = 2;

// Entry header: type, flags, size in bytes of the whole entry.
struct ACE_HEADER {
  BYTE AceType;
  BYTE AceFlags;
  WORD AceSize;
};
constexpr BYTE ACCESS_ALLOWED_ACE_TYPE = 0;
constexpr BYTE OBJECT_INHERIT_ACE = 0x1;
constexpr BYTE CONTAINER_INHERIT_ACE = 0x2;
constexpr BYTE INHERIT_ONLY_ACE = 0x8;
constexpr BYTE INHERITED_ACE = 0x10;

// Access-allowed entry: header, access mask, then the identifier, whose
// first four bytes are SidStart; 8 + identifier length bytes.
struct ACCESS_ALLOWED_ACE {
  ACE_HEADER Header;
  DWORD Mask;
  DWORD SidStart;
};

enum ACL_INFORMATION_CLASS { AclSizeInformation = 2 };
struct ACL_SIZE_INFORMATION {
  DWORD AceCount;
  DWORD AclBytesInUse;
  DWORD AclBytesFree;
};

// Security descriptor, 20 bytes: revision 1, 0, control flags, then owner,
// group, system list and access list. In the self-relative form (control
// flag SE_SELF_RELATIVE) the last four are offsets from its start, 0 for
// none, and the parts follow it; in the absolute form they are addresses.
struct SECURITY_DESCRIPTOR {
  BYTE Revision;
  BYTE Sbz1;
  WORD Control;
  PSID Owner;
  PSID Group;
  ACL* Sacl;
  ACL* Dacl;
};
static_assert(sizeof(SECURITY_DESCRIPTOR) == 20);
constexpr DWORD SECURITY_DESCRIPTOR_REVISION = 1;
constexpr WORD SE_DACL_PRESENT = 0x0004;
constexpr WORD SE_DACL_DEFAULTED = 0x0008;
constexpr WORD SE_SELF_RELATIVE = 0x8000;

BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority, BYTE count, DWORD sub0, DWORD sub1,
                              DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid);
LPVOID FreeSid(PSID sid);  // null
BOOL IsValidSid(PSID sid);
DWORD GetLengthSid(PSID sid);
BOOL EqualSid(PSID first, PSID second);

BOOL InitializeAcl(ACL* acl, DWORD size, DWORD revision);
BOOL GetAclInformation(ACL* acl, LPVOID information, DWORD size, ACL_INFORMATION_CLASS information_class);
// Inserts the entries of `entries` (`size` bytes) before entry `start`;
// MAXDWORD or a start beyond the count appends them.
BOOL AddAce(ACL* acl, DWORD revision, DWORD start, LPVOID entries, DWORD size);
BOOL GetAce(ACL* acl, DWORD index, LPVOID* entry);
// Appends an access-allowed entry.
BOOL AddAccessAllowedAceEx(ACL* acl, DWORD revision, DWORD flags, DWORD mask, PSID sid);

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision);
BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, ACL* acl, BOOL defaulted);
BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL* present, ACL** acl, BOOL* defaulted);

// A self-relative descriptor with the file's access list. `needed` always
// receives the size; a smaller `size` fails with ERROR_INSUFFICIENT_BUFFER.
BOOL GetFileSecurityA(LPCSTR name, SECURITY_INFORMATION requested, PSECURITY_DESCRIPTOR descriptor, DWORD size,
                      DWORD* needed);
// Only the access list is set; a descriptor without one is refused.
BOOL SetFileSecurityA(LPCSTR name, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor);
