// What the logging library reads from the registry and the process token.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "ImportHook.h"
#include "LogConfiguration.h"
#include "LogRegistry.h"
#include "LogSecurity.h"
#include "SddlText.h"
#include "TestRegistry.h"
#include "UniqueAny.h"

using namespace KvTzkLogging;

namespace {

constexpr wchar_t kDir[] = L"LogConfigurationTest";
// A value of the tests' own, so that the look-up order is tried without touching the values
// that the programs read.
constexpr wchar_t kValue[] = L"TestOnlyValue";

std::wstring Name() { return L"Name-" + std::to_wstring(::GetCurrentProcessId()); }

// How one of the three keys holds the value.
enum class Stored { None, Dword, String, Qword, ShortDword, Binary };

struct Setting {
  Stored stored = Stored::None;
  DWORD value = 0;
};

void Apply(ScopedRegValue& target, const Setting& setting) {
  const DWORD value = setting.value;
  const unsigned long long wide = value;
  switch (setting.stored) {
    case Stored::None: ASSERT_TRUE(target.Remove()); break;
    case Stored::Dword: ASSERT_TRUE(target.SetDword(value)); break;
    case Stored::String: ASSERT_TRUE(target.SetString(std::to_wstring(value))); break;
    case Stored::Qword: ASSERT_TRUE(target.SetRaw(REG_QWORD, &wide, sizeof(wide))); break;
    case Stored::ShortDword: ASSERT_TRUE(target.SetRaw(REG_DWORD, &value, 2)); break;
    case Stored::Binary: ASSERT_TRUE(target.SetRaw(REG_BINARY, &value, sizeof(value))); break;
  }
}

TEST(LogConfigurationValues, ThreeKeysInOrder) {
  constexpr DWORD kAbsent = 0xFFFFFFFF;
  const Setting none;
  const auto dword = [](DWORD v) { return Setting{Stored::Dword, v}; };
  struct Case {
    const char* label;
    Setting key1, key2, key3;
    DWORD expected;  // with a default of 42
  };
  const Case cases[] = {
      {"nothing stored", none, none, none, 42},
      {"only the common key", none, none, dword(7), 7},
      {"the directory's key first", none, dword(6), dword(7), 6},
      {"the directory and name's key first", dword(5), dword(6), dword(7), 5},
      {"zero is a value", dword(0), dword(6), dword(7), 0},
      {"0xFFFFFFFF skipped in the first key", dword(kAbsent), dword(6), dword(7), 6},
      {"0xFFFFFFFF skipped in the first two", dword(kAbsent), dword(kAbsent), dword(7), 7},
      {"0xFFFFFFFF kept in the common key", dword(kAbsent), dword(kAbsent), dword(kAbsent),
       kAbsent},
      {"0xFFFFFFFF in the first, nothing else", dword(kAbsent), none, none, 42},
      {"a string counts as absent", {Stored::String, 5}, none, dword(7), 7},
      {"a string in the common key", none, none, {Stored::String, 5}, 42},
      {"a QWORD counts as absent", {Stored::Qword, 5}, dword(6), none, 6},
      {"a two-byte DWORD counts as absent", {Stored::ShortDword, 5}, dword(6), none, 6},
      {"binary data counts as absent", {Stored::Binary, 5}, none, dword(7), 7},
  };
  const std::wstring name = Name();
  ScopedRegValue key1(HKEY_LOCAL_MACHINE, LoggingKey(kDir, name), kValue);
  ScopedRegValue key2(HKEY_LOCAL_MACHINE, LoggingKey(kDir), kValue);
  ScopedRegValue key3(HKEY_LOCAL_MACHINE, LoggingKey(), kValue);
  for (const auto& c : cases) {
    Apply(key1, c.key1);
    Apply(key2, c.key2);
    Apply(key3, c.key3);
    EXPECT_EQ(ReadConfigDword(kValue, kDir, name, 42), c.expected) << c.label;
  }

  // Only the 32-bit view is read, by both programs.
  ASSERT_TRUE(key1.Remove() && key2.Remove() && key3.Remove());
  ScopedRegValue native(HKEY_LOCAL_MACHINE, LoggingKey(), kValue, KEY_WOW64_64KEY);
  ASSERT_TRUE(native.SetDword(9));
  EXPECT_EQ(ReadConfigDword(kValue, kDir, name, 42), 42u);
}

TEST(LogConfigurationValues, LevelDebuggerOutputAndSizeLimit) {
  const std::wstring name = Name();
  ScopedRegValue level(HKEY_LOCAL_MACHINE, LoggingKey(kDir, name), L"LogLevel");
  ScopedRegValue commonLevel(HKEY_LOCAL_MACHINE, LoggingKey(), L"LogLevel");
  ScopedRegValue debug(HKEY_LOCAL_MACHINE, LoggingKey(kDir, name), L"DebugOutputLogging");
  ScopedRegValue commonDebug(HKEY_LOCAL_MACHINE, LoggingKey(), L"DebugOutputLogging");
  ScopedRegValue size(HKEY_LOCAL_MACHINE, LoggingKey(kDir, name), L"LogMaxSizeKB");
  ScopedRegValue commonSize(HKEY_LOCAL_MACHINE, LoggingKey(), L"LogMaxSizeKB");
  ASSERT_TRUE(level.Remove() && commonLevel.Remove() && debug.Remove() && commonDebug.Remove() &&
              size.Remove() && commonSize.Remove());

  EXPECT_EQ(ReadLogLevel(kDir, name, 4), 4);
  EXPECT_FALSE(ReadDebugOutputLogging(kDir, name));
  EXPECT_EQ(ReadMaxSize(kDir, name), 51200u);

  ASSERT_TRUE(commonLevel.SetDword(0xFFFFFFFF));
  EXPECT_EQ(ReadLogLevel(kDir, name, 4), -1);
  ASSERT_TRUE(level.SetDword(6));
  EXPECT_EQ(ReadLogLevel(kDir, name, 4), 6);

  ASSERT_TRUE(debug.SetDword(2));
  EXPECT_TRUE(ReadDebugOutputLogging(kDir, name));
  ASSERT_TRUE(debug.SetDword(0));
  ASSERT_TRUE(commonDebug.SetDword(1));
  EXPECT_FALSE(ReadDebugOutputLogging(kDir, name));

  ASSERT_TRUE(size.SetDword(0));
  EXPECT_EQ(ReadMaxSize(kDir, name), 0u);
  // The largest value in the common key: 4 TiB in both programs, no overflow.
  ASSERT_TRUE(size.Remove());
  ASSERT_TRUE(commonSize.SetDword(0xFFFFFFFF));
  EXPECT_EQ(ReadMaxSize(kDir, name), 0xFFFFFFFFull * 1024);
  ASSERT_TRUE(commonSize.SetDword(4194304));
  EXPECT_EQ(ReadMaxSize(kDir, name), 4294967296ull);
}

TEST(LogConfigurationValues, StringValues) {
  const std::wstring key = LoggingKey(kDir, Name());
  ScopedRegValue value(HKEY_LOCAL_MACHINE, key, L"Text");
  // Data with no terminator: the unit just past the data is not zero, so the registry adds
  // none either.
  const wchar_t unterminated[] = L"D:\\LogsX";
  const wchar_t embedded[] = L"D:\\Logs\0C:\\Windows";
  struct Case {
    const char* label;
    DWORD type;
    const void* data;
    DWORD size;
    std::wstring expected;
  };
  const std::wstring expandable = L"%SystemRoot%\\Logs";
  const DWORD number = 5;
  const Case cases[] = {
      {"REG_SZ", REG_SZ, L"D:\\Logs", 16, L"D:\\Logs"},
      {"REG_EXPAND_SZ, not expanded", REG_EXPAND_SZ, expandable.c_str(),
       static_cast<DWORD>((expandable.size() + 1) * 2), expandable},
      {"no terminator", REG_SZ, unterminated, 14, L"D:\\Logs"},
      {"a zero inside ends the text", REG_SZ, embedded, sizeof(embedded), L"D:\\Logs"},
      {"empty", REG_SZ, L"", 2, L""},
      {"REG_DWORD", REG_DWORD, &number, 4, L""},
      {"REG_MULTI_SZ", REG_MULTI_SZ, L"D:\\Logs\0", 18, L""},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(value.SetRaw(c.type, c.data, c.size)) << c.label;
    EXPECT_EQ(ReadRegString(HKEY_LOCAL_MACHINE, key, L"Text", KEY_WOW64_32KEY), c.expected)
        << c.label;
  }
  ASSERT_TRUE(value.Remove());
  EXPECT_EQ(ReadRegString(HKEY_LOCAL_MACHINE, key, L"Text", KEY_WOW64_32KEY), L"");
  EXPECT_EQ(ReadRegString(HKEY_LOCAL_MACHINE, key + L"\\Missing", L"Text", KEY_WOW64_32KEY), L"");
}

// Every open of a logging key, with the rights it asked for.
std::vector<REGSAM> g_loggingKeyRights;
decltype(&::RegOpenKeyExW) g_realOpen = nullptr;

LONG WINAPI RecordingOpen(HKEY hive, LPCWSTR key, DWORD options, REGSAM rights, PHKEY opened) {
  if (key != nullptr && std::wstring(key).rfind(LoggingKey(), 0) == 0) {
    g_loggingKeyRights.push_back(rights);
  }
  return g_realOpen(hive, key, options, rights, opened);
}

// The logging keys are opened to query values and nothing more, in the 32-bit view (0x201):
// a key whose DACL grants only that still configures the log.
TEST(LogConfigurationValues, AKeyThatGrantsOnlyQueryValueIsRead) {
  const std::wstring key = LoggingKey(kDir, Name());
  ScopedRegValue number(HKEY_LOCAL_MACHINE, key, kValue);
  ScopedRegValue text(HKEY_LOCAL_MACHINE, key, L"RootPath");
  ASSERT_TRUE(number.SetDword(5));
  ASSERT_TRUE(text.SetString(L"D:\\Logs"));
  // Opened up again before the values and the key are removed.
  struct Reopen {
    const std::wstring& key;
    ~Reopen() { SetKeySddl(key, KEY_WOW64_32KEY, L"D:P(A;;KA;;;WD)", DACL_SECURITY_INFORMATION); }
  } reopen{key};
  ASSERT_TRUE(SetKeySddl(key, KEY_WOW64_32KEY, L"D:P(A;;0x1;;;WD)", DACL_SECURITY_INFORMATION));
  ASSERT_EQ(OpenKeyError(key, KEY_WOW64_32KEY, KEY_READ), ERROR_ACCESS_DENIED);

  g_loggingKeyRights.clear();
  {
    ImportHook hook("advapi32.dll", "RegOpenKeyExW", reinterpret_cast<void*>(&RecordingOpen));
    ASSERT_TRUE(hook.IsActive());
    g_realOpen = reinterpret_cast<decltype(&::RegOpenKeyExW)>(hook.Original());
    EXPECT_EQ(ReadConfigDword(kValue, kDir, Name(), 42), 5u);
    EXPECT_EQ(ReadRegString(HKEY_LOCAL_MACHINE, key, L"RootPath", KEY_WOW64_32KEY), L"D:\\Logs");
  }
  EXPECT_EQ(g_loggingKeyRights, std::vector<REGSAM>(2, KEY_QUERY_VALUE | KEY_WOW64_32KEY));
}

TEST(LogRoot, AdministratorsUserAndLowIntegrityRoots) {
  ScopedRegValue machineRoot(HKEY_LOCAL_MACHINE, LoggingKey(), L"RootPath");
  ScopedRegValue machineRoot64(HKEY_LOCAL_MACHINE, LoggingKey(), L"RootPath", KEY_WOW64_64KEY);
  ScopedRegValue userRoot(HKEY_CURRENT_USER, LoggingKey(), L"RootPath");
  ScopedRegValue commonAppData(HKEY_LOCAL_MACHINE, kShellFoldersKey, L"Common AppData", 0);
  ScopedRegValue localAppData(HKEY_CURRENT_USER, kShellFoldersKey, L"Local AppData", 0);
  ScopedRegValue lowAppData(HKEY_CURRENT_USER, kShellFoldersKey, kLowIntegrityAppData, 0);
  ASSERT_TRUE(machineRoot.Remove() && machineRoot64.Remove() && userRoot.Remove());

  // Without RootPath: the Shell Folders, which Wine fills like Windows.
  const std::wstring programData = ExpandEnvString(L"%ProgramData%");
  EXPECT_EQ(programData, L"C:\\ProgramData");
  EXPECT_EQ(GetLogRoot(AdminRoot),
            ReadRegString(HKEY_LOCAL_MACHINE, kShellFoldersKey, L"Common AppData", 0));
  EXPECT_EQ(GetLogRoot(AdminRoot), programData);
  EXPECT_EQ(GetLogRoot(UserRoot),
            ReadRegString(HKEY_CURRENT_USER, kShellFoldersKey, L"Local AppData", 0));

  struct Case {
    const char* label;
    const wchar_t* machine;  // RootPath in HKLM, 32-bit view
    const wchar_t* user;     // RootPath in HKCU, 32-bit view
    const wchar_t* common;   // Common AppData (nullptr: removed)
    const wchar_t* local;    // Local AppData (nullptr: removed)
    const wchar_t* low;      // the low-integrity folder (nullptr: removed)
    std::wstring admin, userExpected, lowExpected;
  };
  const std::wstring localEnv = ExpandEnvString(L"%LOCALAPPDATA%");
  const Case cases[] = {
      {"RootPath in HKLM serves administrators only", L"D:\\Logs", nullptr, L"C:\\Common",
       L"C:\\Local", L"C:\\Low", L"D:\\Logs", L"C:\\Local", L"C:\\Low"},
      {"RootPath in HKCU serves users only", nullptr, L"E:\\Mine", L"C:\\Common", L"C:\\Local",
       L"C:\\Low", L"C:\\Common", L"E:\\Mine", L"C:\\Low"},
      {"used literally", L"%TEMP%\\x", L"%TEMP%\\y", L"C:\\Common", L"C:\\Local", L"C:\\Low",
       L"%TEMP%\\x", L"%TEMP%\\y", L"C:\\Low"},
      {"Shell Folders missing: the environment", nullptr, nullptr, nullptr, nullptr, nullptr,
       programData, localEnv, L""},
  };
  for (const auto& c : cases) {
    const auto set = [](ScopedRegValue& value, const wchar_t* text) {
      return text == nullptr ? value.Remove() : value.SetString(text);
    };
    ASSERT_TRUE(set(machineRoot, c.machine) && set(userRoot, c.user) &&
                set(commonAppData, c.common) && set(localAppData, c.local) &&
                set(lowAppData, c.low));
    EXPECT_EQ(GetLogRoot(AdminRoot), c.admin) << c.label;
    EXPECT_EQ(GetLogRoot(UserRoot), c.userExpected) << c.label;
    EXPECT_EQ(GetLogRoot(LowIntegrityRoot), c.lowExpected) << c.label;
  }

  // RootPath in the 64-bit view only is not read.
  ASSERT_TRUE(machineRoot.Remove() && commonAppData.SetString(L"C:\\Common"));
  ASSERT_TRUE(machineRoot64.SetString(L"D:\\Native"));
  EXPECT_EQ(GetLogRoot(AdminRoot), L"C:\\Common");
}

TEST(LogToken, WineRunsTestsAsAnAdministratorAtHighIntegrity) {
  EXPECT_TRUE(IsAdmin());
  EXPECT_FALSE(IsLowIntegrity());
  EXPECT_EQ(GetUserSidString().rfind(L"S-1-5-", 0), 0u);
  HANDLE raw = nullptr;
  ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw));
  const UniqueHandle token(raw);
  EXPECT_GT(GetIntegrityRid(token.get()), static_cast<DWORD>(SECURITY_MANDATORY_LOW_RID));
}

TEST(LogToken, DirectorySecurityDescriptors) {
  struct Case {
    bool inheritable;
    const char* sddl;
  };
  // Protected: nothing is inherited from the folders above (ProgramData lets every user create
  // folders and gives their creator full control).
  const Case cases[] = {{true, "D:P(A;OICI;GA;;;SY)(A;OICI;GA;;;BA)(A;OICI;GRGX;;;AU)"},
                        {false, "D:P(A;;GA;;;SY)(A;;GA;;;BA)"}};
  for (const auto& c : cases) {
    DirSecurityPtr attributes(DirSecurity(c.inheritable));
    ASSERT_NE(attributes, nullptr);
    EXPECT_EQ(attributes->nLength, sizeof(SECURITY_ATTRIBUTES));
    EXPECT_FALSE(attributes->bInheritHandle);
    ASSERT_NE(attributes->lpSecurityDescriptor, nullptr);
    EXPECT_EQ(DaclText(attributes->lpSecurityDescriptor), NormalSddl(c.sddl));
  }
  FreeDirSecurity(nullptr);
}

}  // namespace
