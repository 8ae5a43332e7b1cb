// Security descriptors, privilege holders, the administrator test and ownership taking.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "AdminCheck.h"
#include "KvPrivilege.h"
#include "Ownership.h"
#include "ScratchFolder.h"
#include "SddlText.h"
#include "SecurityAttributes.h"
#include "StringUtils.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "UniqueAny.h"

namespace {

TEST(SecurityAttributes, BuildsProtectedDescriptorsFromSddl) {
  SecurityAttributes everyone;
  everyone.InitEveryoneFullAccess();
  ASSERT_NE(everyone.Get(), nullptr);
  EXPECT_EQ(everyone.Get()->nLength, sizeof(SECURITY_ATTRIBUTES));
  EXPECT_EQ(everyone.Get()->bInheritHandle, FALSE);
  EXPECT_EQ(DaclSddl(everyone.Get()), "D:P(A;OICI;GA;;;WD)");

  SecurityAttributes unprotected;
  ASSERT_TRUE(unprotected.InitFromSddl(L"D:(A;;GA;;;SY)", true));
  EXPECT_EQ(DaclSddl(unprotected.Get()), "D:(A;;GA;;;SY)");

  // Moving hands the record over; the source is left empty.
  SecurityAttributes moved(std::move(everyone));
  EXPECT_EQ(everyone.Get(), nullptr);
  EXPECT_EQ(DaclSddl(moved.Get()), "D:P(A;OICI;GA;;;WD)");
}

TEST(SecurityAttributes, AFailedConversionLeavesTheHolderEmpty) {
  SecurityAttributes attributes;
  attributes.InitEveryoneFullAccess();
  EXPECT_FALSE(attributes.InitFromSddl(L"D:(this is no SDDL", false));
  EXPECT_EQ(attributes.Get(), nullptr);
  EXPECT_FALSE(attributes.InitFromSddl(nullptr, false));
  EXPECT_EQ(attributes.Get(), nullptr);

  attributes.Reset();
  ASSERT_NE(attributes.Get(), nullptr);
  EXPECT_EQ(attributes.Get()->lpSecurityDescriptor, nullptr);
}

// -1: the token lacks the privilege; 0: held but disabled; 1: enabled.
int PrivilegeState(HANDLE token, const wchar_t* name) {
  LUID luid{};
  if (!::LookupPrivilegeValueW(nullptr, name, &luid)) return -2;
  DWORD size = 0;
  ::GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size);
  if (!::GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) return -3;
  const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
  for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
    const LUID& entry = privileges->Privileges[i].Luid;
    if (entry.LowPart == luid.LowPart && entry.HighPart == luid.HighPart) {
      return (privileges->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) ? 1 : 0;
    }
  }
  return -1;
}

// The thread's own token state for a privilege; -4 when the thread has no token.
int ThreadPrivilegeState(const wchar_t* name) {
  UniqueHandle token;
  if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) {
    return ::GetLastError() == ERROR_NO_TOKEN ? -4 : -5;
  }
  return PrivilegeState(token.get(), name);
}

int ProcessPrivilegeState(const wchar_t* name) {
  UniqueHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return -5;
  return PrivilegeState(token.get(), name);
}

constexpr wchar_t kBackup[] = L"SeBackupPrivilege";
constexpr int kNoThreadToken = -4;

// Every case runs on a thread of its own, which starts without a token.
template <typename Body>
void OnFreshThread(Body body) {
  std::thread thread(body);
  thread.join();
}

TEST(KvPrivilege, NestedHoldersOnAThreadWithoutTokenLeaveItWithoutToken) {
  ASSERT_EQ(ProcessPrivilegeState(kBackup), 0) << "the process should hold it, disabled";
  OnFreshThread([] {
    EXPECT_EQ(ThreadPrivilegeState(kBackup), kNoThreadToken);
    {
      KvPrivilege outer(kBackup);
      EXPECT_TRUE(outer.IsEnabled());
      EXPECT_EQ(ThreadPrivilegeState(kBackup), 1);
      {
        KvPrivilege inner(kBackup);
        EXPECT_TRUE(inner.IsEnabled());
        EXPECT_EQ(ThreadPrivilegeState(kBackup), 1);
      }
      EXPECT_EQ(ThreadPrivilegeState(kBackup), 1) << "the inner holder changed nothing";
    }
    EXPECT_EQ(ThreadPrivilegeState(kBackup), kNoThreadToken);
  });
  EXPECT_EQ(ProcessPrivilegeState(kBackup), 0) << "the process token was never touched";
}

TEST(KvPrivilege, NestedHoldersRestoreTheStateOfAnExistingThreadToken) {
  OnFreshThread([] {
    ASSERT_TRUE(::ImpersonateSelf(SecurityImpersonation));
    ASSERT_EQ(ThreadPrivilegeState(kBackup), 0);
    {
      KvPrivilege outer(kBackup);
      EXPECT_TRUE(outer.IsEnabled());
      EXPECT_EQ(ThreadPrivilegeState(kBackup), 1);
      {
        KvPrivilege inner(kBackup);
        EXPECT_EQ(ThreadPrivilegeState(kBackup), 1);
      }
      EXPECT_EQ(ThreadPrivilegeState(kBackup), 1);
    }
    // Back to disabled, and the thread keeps the token it had.
    EXPECT_EQ(ThreadPrivilegeState(kBackup), 0);
    ::RevertToSelf();
  });
}

TEST(KvPrivilege, APrivilegeThatCannotBeEnabledChangesNothing) {
  for (const wchar_t* name : {L"SeCreateTokenPrivilege", L"SeNoSuchPrivilege"}) {
    OnFreshThread([name] {
      const int before = ProcessPrivilegeState(name);
      {
        KvPrivilege holder(name);
        EXPECT_FALSE(holder.IsEnabled()) << WideToUtf8(name);
      }
      EXPECT_EQ(ThreadPrivilegeState(name), kNoThreadToken) << WideToUtf8(name);
      EXPECT_EQ(ProcessPrivilegeState(name), before) << WideToUtf8(name);
    });
  }
  ASSERT_EQ(ProcessPrivilegeState(L"SeCreateTokenPrivilege"), -1)
      << "the case above needs a privilege the token lacks";
}

TEST(IsAdmin, HoldsForTheTestProcessAndNotForATokenWithAdministratorsDenyOnly) {
  EXPECT_TRUE(IsAdmin(nullptr));
  OnFreshThread([] {
    UniqueHandle process;
    ASSERT_TRUE(::OpenProcessToken(
        ::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_IMPERSONATE, process.put()));
    UniqueSid administrators(CreateAdministratorsSid());
    ASSERT_TRUE(administrators);
    SID_AND_ATTRIBUTES disabled{administrators.get(), 0};
    UniqueHandle filtered;
    ASSERT_TRUE(::CreateRestrictedToken(process.get(), 0, 1, &disabled, 0, nullptr, 0, nullptr,
                                        filtered.put()));
    ASSERT_TRUE(::ImpersonateLoggedOnUser(filtered.get()));
    EXPECT_FALSE(IsAdmin(nullptr));
    ::RevertToSelf();
    EXPECT_TRUE(IsAdmin(nullptr));
  });
}

TEST(Ownership, RefusesMissingPiecesWithInvalidParameter) {
  UniqueSid administrators(CreateAdministratorsSid());
  ASSERT_TRUE(administrators);
  ScratchFolder scratch(L"owner");
  ASSERT_TRUE(WriteFileBytes(scratch / L"file.txt", "x"));
  SecurityAttributes empty;
  SecurityAttributes everyone;
  everyone.InitEveryoneFullAccess();
  SecurityAttributes withoutDacl;
  ASSERT_TRUE(withoutDacl.InitFromSddl(L"O:BA", true));

  const DWORD invalid = ERROR_INVALID_PARAMETER;
  EXPECT_EQ(SetFileOwnerAndDacl(scratch / L"file.txt", administrators.get(), empty.Get()), invalid);
  EXPECT_EQ(SetFileOwnerAndDacl(scratch / L"file.txt", nullptr, everyone.Get()), invalid);
  EXPECT_EQ(SetFileOwnerAndDacl(scratch / L"file.txt", administrators.get(), withoutDacl.Get()),
            invalid);
  EXPECT_EQ(SetRegistryKeyOwnerAndDacl(HKEY_LOCAL_MACHINE, L"SOFTWARE", administrators.get(),
                                       empty.Get(), false),
            invalid);
  EXPECT_EQ(
      SetRegistryKeyOwnerAndDacl(HKEY_LOCAL_MACHINE, L"SOFTWARE", nullptr, everyone.Get(), true),
      invalid);
}

// Wine neither keeps nor enforces file ACLs: taking ownership of any existing file
// succeeds, so only the answers are checked here.
TEST(Ownership, TakesFilesAndDirectoriesAndReportsAMissingOne) {
  UniqueSid administrators(CreateAdministratorsSid());
  ScratchFolder scratch(L"owner-files");
  ASSERT_TRUE(WriteFileBytes(scratch / L"file.txt", "x"));
  SecurityAttributes everyone;
  everyone.InitEveryoneFullAccess();
  EXPECT_EQ(SetFileOwnerAndDacl(scratch / L"file.txt", administrators.get(), everyone.Get()), 0u);
  EXPECT_EQ(SetFileOwnerAndDacl(scratch.Path(), administrators.get(), everyone.Get()), 0u);
  EXPECT_EQ(SetFileOwnerAndDacl(scratch / L"missing.txt", administrators.get(), everyone.Get()),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// Through handles of the key itself, a registry link as the link: the key it points to keeps
// its owner and DACL.
TEST(Ownership, AKeysOwnerAndDaclChangeOnTheKeyItselfNeverThroughALink) {
  TestKey root(L"owner-keys");
  const std::wstring target = root / L"Target";
  const std::wstring link = root / L"Link";
  ASSERT_TRUE(TestRegistry().CreateKey(target));
  ASSERT_TRUE(SetKeySddl(target, 0, L"D:P(A;;KA;;;BA)(A;;KR;;;BU)", DACL_SECURITY_INFORMATION));
  ASSERT_TRUE(CreateLinkKey(link, target));
  const std::wstring targetBefore = KeySddl(target, 0);
  UniqueSid administrators(CreateAdministratorsSid());
  SecurityAttributes everyone;
  everyone.InitEveryoneFullAccess();

  UniqueHKey base;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, root.Path().c_str(), 0, KEY_READ, base.put()),
            ERROR_SUCCESS);
  EXPECT_EQ(SetKeyOwnerAndDacl(base.get(), L"Link", 0, administrators.get(), everyone.Get()), 0u);
  EXPECT_EQ(KeySddl(target, 0), targetBefore);
  const std::wstring linkAfter = KeySddl(link, 0);
  EXPECT_EQ(linkAfter.substr(0, 5), L"O:BAD") << WideToUtf8(linkAfter);
  EXPECT_NE(linkAfter.find(L";WD)"), std::wstring::npos) << WideToUtf8(linkAfter);
  EXPECT_EQ(SetKeyOwnerAndDacl(base.get(), L"Missing", 0, administrators.get(), everyone.Get()),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(SetKeyOwnerAndDacl(base.get(), L"Link", 0, nullptr, everyone.Get()),
            static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Ownership, NamesKeysWithTheHivePrefixOfTheSecurityApi) {
  EXPECT_EQ(RegistryKeyObjectName(HKEY_LOCAL_MACHINE, L"SOFTWARE\\X"), L"MACHINE\\SOFTWARE\\X");
  EXPECT_EQ(RegistryKeyObjectName(HKEY_CLASSES_ROOT, L".txt"), L"CLASSES_ROOT\\.txt");
  EXPECT_EQ(RegistryKeyObjectName(HKEY_USERS, L"S-1-5-18"), L"USERS\\S-1-5-18");
  EXPECT_EQ(RegistryKeyObjectName(HKEY_CURRENT_USER, L"Software"), L"CURRENT_USER\\Software");
  EXPECT_EQ(RegistryKeyObjectName(HKEY_CURRENT_CONFIG, L"System"), L"System");
}

}  // namespace
