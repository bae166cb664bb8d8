#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/security.h"
#include "support/test_home.h"

namespace {

// Identifier bytes as the layout gives them: revision 1, count, 6-byte
// big-endian authority, then the sub-authorities little-endian.
std::vector<BYTE> sid(BYTE authority, std::vector<DWORD> sub_authorities) {
  std::vector<BYTE> bytes = {1, static_cast<BYTE>(sub_authorities.size()), 0, 0, 0, 0, 0, authority};
  for (const DWORD sub : sub_authorities) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<BYTE>(sub >> shift));
  }
  return bytes;
}

const std::vector<BYTE> kEveryone = sid(1, {0});
std::vector<BYTE> owner_sid() { return sid(22, {1, static_cast<DWORD>(getuid())}); }
std::vector<BYTE> group_sid() { return sid(22, {2, static_cast<DWORD>(getgid())}); }

struct Entry {
  BYTE type;
  BYTE flags;
  DWORD mask;
  std::vector<BYTE> sid;
};

std::vector<Entry> entries_of(ACL* acl) {
  std::vector<Entry> entries;
  ACL_SIZE_INFORMATION size{};
  EXPECT_TRUE(GetAclInformation(acl, &size, sizeof size, AclSizeInformation));
  for (DWORD i = 0; i < size.AceCount; ++i) {
    void* at = nullptr;
    EXPECT_TRUE(GetAce(acl, i, &at));
    const auto* entry = static_cast<const ACCESS_ALLOWED_ACE*>(at);
    const auto* identifier = reinterpret_cast<const BYTE*>(&entry->SidStart);
    EXPECT_EQ(entry->Header.AceSize, 8 + GetLengthSid(const_cast<BYTE*>(identifier)));
    entries.push_back(Entry{entry->Header.AceType, entry->Header.AceFlags, entry->Mask,
                            std::vector<BYTE>(identifier, identifier + GetLengthSid(const_cast<BYTE*>(identifier)))});
  }
  return entries;
}

std::vector<BYTE> file_descriptor(const std::string& path) {
  DWORD needed = 0;
  EXPECT_FALSE(GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  std::vector<BYTE> descriptor(needed);
  EXPECT_TRUE(GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), needed, &needed));
  return descriptor;
}

ACL* dacl_of(std::vector<BYTE>& descriptor) {
  BOOL present = FALSE, defaulted = TRUE;
  ACL* acl = nullptr;
  EXPECT_TRUE(GetSecurityDescriptorDacl(descriptor.data(), &present, &acl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_FALSE(defaulted);
  return acl;
}

mode_t mode_of(const std::string& path) {
  struct stat status;
  EXPECT_EQ(stat(path.c_str(), &status), 0);
  return status.st_mode & 07777;
}

TEST(Security, WorldIdentifierHasTheSpecifiedBytes) {
  PSID everyone = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&SECURITY_WORLD_SID_AUTHORITY, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0,
                                       &everyone));
  EXPECT_EQ(GetLengthSid(everyone), 12u);
  EXPECT_EQ(std::vector<BYTE>(static_cast<BYTE*>(everyone), static_cast<BYTE*>(everyone) + 12), kEveryone);
  std::vector<BYTE> same = kEveryone;
  std::vector<BYTE> owner = owner_sid();
  EXPECT_TRUE(EqualSid(everyone, same.data()));
  EXPECT_FALSE(EqualSid(everyone, owner.data()));
  EXPECT_EQ(FreeSid(everyone), nullptr);
  PSID none = nullptr;
  EXPECT_FALSE(AllocateAndInitializeSid(&SECURITY_WORLD_SID_AUTHORITY, 0, 0, 0, 0, 0, 0, 0, 0, 0, &none));
  BYTE bad[8] = {2, 0};
  EXPECT_FALSE(IsValidSid(bad));
  EXPECT_EQ(GetLengthSid(bad), 0u);
}

TEST(Security, FileAccessListGrantsWhatTheOwnerGroupAndOtherBitsDo) {
  const std::string path = testsupport::write_file("security/a.spa", "a");
  chmod(path.c_str(), 0640);
  std::vector<BYTE> descriptor = file_descriptor(path);
  const SECURITY_DESCRIPTOR header = *reinterpret_cast<SECURITY_DESCRIPTOR*>(descriptor.data());
  EXPECT_EQ(header.Control, SE_SELF_RELATIVE | SE_DACL_PRESENT);
  ACL* acl = dacl_of(descriptor);
  EXPECT_EQ(reinterpret_cast<BYTE*>(acl) - descriptor.data(), 20);  // the list follows the 20-byte header
  EXPECT_EQ(acl->AclRevision, ACL_REVISION);
  EXPECT_EQ(acl->AclSize, 8 + 2 * (8 + 16));
  const std::vector<Entry> entries = entries_of(acl);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].type, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_EQ(entries[0].mask, GENERIC_READ | GENERIC_WRITE);
  EXPECT_EQ(entries[0].sid, owner_sid());
  EXPECT_EQ(entries[1].mask, GENERIC_READ);
  EXPECT_EQ(entries[1].sid, group_sid());
  DWORD needed = 0;
  EXPECT_FALSE(GetFileSecurityA((path + ".missing").c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(needed, 0u);
}

class SecurityRoundTrips : public testing::TestWithParam<mode_t> {};

TEST_P(SecurityRoundTrips, SettingTheListReadKeepsTheMode) {
  const std::string path = testsupport::write_file("security/round.spa", "a");
  chmod(path.c_str(), GetParam());
  std::vector<BYTE> descriptor = file_descriptor(path);
  EXPECT_TRUE(SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.data()));
  EXPECT_EQ(mode_of(path), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Modes, SecurityRoundTrips, testing::Values(0644, 0600, 0755, 0400, 0000, 04750));

// An absolute descriptor over a list of the given entries.
struct BuiltList {
  std::vector<BYTE> acl;
  SECURITY_DESCRIPTOR descriptor;
};

void build(BuiltList* list, const std::vector<std::pair<std::vector<BYTE>, DWORD>>& grants, BYTE flags = 0) {
  list->acl.assign(512, 0);
  auto* acl = reinterpret_cast<ACL*>(list->acl.data());
  ASSERT_TRUE(InitializeAcl(acl, 512, ACL_REVISION));
  for (auto grant : grants) ASSERT_TRUE(AddAccessAllowedAceEx(acl, ACL_REVISION, flags, grant.second, grant.first.data()));
  ASSERT_TRUE(InitializeSecurityDescriptor(&list->descriptor, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&list->descriptor, TRUE, acl, FALSE));
}

TEST(Security, EveryonesGrantReachesTheOwnerAndGroupToo) {
  const std::string path = testsupport::write_file("security/open.spa", "a");
  chmod(path.c_str(), 0600);
  BuiltList list;
  build(&list, {{owner_sid(), GENERIC_READ}, {kEveryone, GENERIC_READ | GENERIC_WRITE}});
  ASSERT_TRUE(SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, &list.descriptor));
  EXPECT_EQ(mode_of(path), 0666u);
  build(&list, {{owner_sid(), GENERIC_ALL}, {group_sid(), GENERIC_EXECUTE}});
  ASSERT_TRUE(SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, &list.descriptor));
  EXPECT_EQ(mode_of(path), 0610u);  // GENERIC_ALL does not make a file executable
  const std::string folder = testsupport::home() + "/security";
  build(&list, {{kEveryone, GENERIC_ALL}});
  ASSERT_TRUE(SetFileSecurityA(folder.c_str(), DACL_SECURITY_INFORMATION, &list.descriptor));
  EXPECT_EQ(mode_of(folder), 0777u);  // a folder's is entered too
}

TEST(Security, OnlyEntriesThatApplyToTheFileItselfCount) {
  const std::string path = testsupport::write_file("security/skip.spa", "a");
  chmod(path.c_str(), 0600);
  BuiltList list;
  build(&list, {{kEveryone, GENERIC_READ}, {sid(5, {18}), GENERIC_ALL}}, INHERIT_ONLY_ACE);
  ASSERT_TRUE(SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, &list.descriptor));
  EXPECT_EQ(mode_of(path), 0000u);
  build(&list, {{sid(5, {18}), GENERIC_ALL}, {owner_sid(), GENERIC_WRITE}});  // an unknown identifier is passed over
  ASSERT_TRUE(SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, &list.descriptor));
  EXPECT_EQ(mode_of(path), 0200u);
  SECURITY_DESCRIPTOR without_list;
  InitializeSecurityDescriptor(&without_list, SECURITY_DESCRIPTOR_REVISION);
  EXPECT_FALSE(SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, &without_list));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_ACL);
  EXPECT_EQ(mode_of(path), 0200u);
}

TEST(Security, AddAceInsertsBeforeAnEntryAndRefusesWhatDoesNotFit) {
  BuiltList list;
  build(&list, {{kEveryone, GENERIC_READ}, {group_sid(), GENERIC_WRITE}});
  auto* acl = reinterpret_cast<ACL*>(list.acl.data());
  // One owner entry, made in a list of its own and copied in at position 1.
  std::vector<BYTE> single(64, 0);
  auto* single_acl = reinterpret_cast<ACL*>(single.data());
  std::vector<BYTE> owner = owner_sid();
  ASSERT_TRUE(InitializeAcl(single_acl, 64, ACL_REVISION));
  ASSERT_TRUE(AddAccessAllowedAceEx(single_acl, ACL_REVISION, INHERITED_ACE, GENERIC_ALL, owner.data()));
  void* entry = nullptr;
  ASSERT_TRUE(GetAce(single_acl, 0, &entry));
  ASSERT_TRUE(AddAce(acl, ACL_REVISION, 1, entry, 8 + 16));
  const std::vector<Entry> entries = entries_of(acl);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].sid, kEveryone);
  EXPECT_EQ(entries[1].sid, owner);
  EXPECT_EQ(entries[1].flags, INHERITED_ACE);
  EXPECT_EQ(entries[1].mask, GENERIC_ALL);
  EXPECT_EQ(entries[2].sid, group_sid());
  ACL_SIZE_INFORMATION size{};
  ASSERT_TRUE(GetAclInformation(acl, &size, sizeof size, AclSizeInformation));
  EXPECT_EQ(size.AclBytesInUse, 8u + 20 + 24 + 24);
  EXPECT_EQ(size.AclBytesFree, 512u - size.AclBytesInUse);
  // A list with room for its header and one entry takes no second one.
  std::vector<BYTE> small(8 + 24, 0);
  auto* small_acl = reinterpret_cast<ACL*>(small.data());
  ASSERT_TRUE(InitializeAcl(small_acl, static_cast<DWORD>(small.size()), ACL_REVISION));
  EXPECT_TRUE(AddAce(small_acl, ACL_REVISION, MAXDWORD, entry, 24));
  EXPECT_FALSE(AddAce(small_acl, ACL_REVISION, MAXDWORD, entry, 24));
  EXPECT_EQ(GetLastError(), ERROR_ALLOTTED_SPACE_EXCEEDED);
  EXPECT_FALSE(GetAce(small_acl, 1, &entry));
  EXPECT_FALSE(InitializeAcl(small_acl, 4, ACL_REVISION));
}

TEST(Security, ListWhoseEntriesRunPastItsSizeIsRefused) {
  BuiltList list;
  build(&list, {{kEveryone, GENERIC_READ}});
  auto* acl = reinterpret_cast<ACL*>(list.acl.data());
  acl->AclSize = 8 + 10;  // the entry is 20 bytes
  ACL_SIZE_INFORMATION size{};
  EXPECT_FALSE(GetAclInformation(acl, &size, sizeof size, AclSizeInformation));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_ACL);
  void* entry = nullptr;
  EXPECT_FALSE(GetAce(acl, 0, &entry));
  const std::string path = testsupport::write_file("security/corrupt.spa", "a");
  chmod(path.c_str(), 0644);
  EXPECT_FALSE(SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, &list.descriptor));
  EXPECT_EQ(mode_of(path), 0644u);
}

}  // namespace
