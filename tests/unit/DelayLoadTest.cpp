// The libraries bound on first use: the resolver's search order and registry keys with the
// real kvdelayprobe.dll, the helper through real delay-load thunks (the installer and
// profile libraries of the program, the probe's imports of this test), and the failures in
// a child program whose exceptions end it.
#include <gtest/gtest.h>

#include <windows.h>

#include <msi.h>
#include <userenv.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "DelayLoad.h"
#include "DelayLoadHelper.h"
#include "DelayLoadSettings.h"
#include "DelayProbe.h"
#include "LogRegistry.h"
#include "PathUtils.h"
#include "ProgramRunner.h"
#include "ScratchFolder.h"
#include "SpecialFolders.h"
#include "StringUtils.h"

extern "C" int WINAPI ProbeOrdinal();
extern "C" int WINAPI ProbeNamed();
extern "C" DWORD WINAPI ProbeModulePath(wchar_t* buffer, DWORD size);

namespace {

constexpr wchar_t kProbe[] = L"kvdelayprobe.dll";
constexpr wchar_t kIdKey[] = L"SOFTWARE\\Korvane\\TZK\\Delay loading\\";

std::wstring ModulePath(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
  return std::wstring(path, length);
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The settings as the program leaves them, before and after every test.
void ResetSettings() {
  DelayLoadSettings& settings = DelayLoadSettings::Instance();
  settings.SetFlag(~0u, false);
  settings.SetOwnerKey(0);
  settings.SetProfileName(L"");
  settings.SetDirectory(L"");
  settings.SetProfileId(0);
  settings.SetMode(0);
}

class DelayLoadTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetSettings();
    // kvdelayprobe.dll is built beside the test programs.
    ownCopy_ = CombinePath(SplitDirectory(ModulePath(nullptr)), kProbe);
    ASSERT_TRUE(IsFile(ownCopy_)) << "missing " << testing::PrintToString(ownCopy_);
    for (const wchar_t* name : {L"a", L"b", L"c"}) {
      const std::wstring copy = folder_ / (std::wstring(name) + L"\\" + kProbe);
      ::CreateDirectoryW((folder_ / name).c_str(), nullptr);
      ASSERT_TRUE(::CopyFileW(ownCopy_.c_str(), copy.c_str(), FALSE));
    }
  }
  void TearDown() override { ResetSettings(); }

  static std::wstring SplitDirectory(const std::wstring& path) {
    std::wstring directory, name;
    SplitPath(path, directory, name);
    return directory;
  }
  std::wstring Copy(const wchar_t* name) const {
    return folder_ / (std::wstring(name) + L"\\" + kProbe);
  }

  ScratchFolder folder_;
  std::wstring ownCopy_;
};

// Where ResolveLibrary found the library ("" when it found none), releasing it again.
std::wstring ResolvedPath(const std::wstring& name, DWORD* error = nullptr) {
  HMODULE module = DelayLoad::ResolveLibrary(WideToAcp(name).c_str());
  if (error != nullptr) *error = ::GetLastError();
  if (module == nullptr) return L"";
  const std::wstring path = ModulePath(module);
  ::FreeLibrary(module);
  return path;
}

TEST_F(DelayLoadTest, SearchStepsInTheirOrder) {
  DelayLoadSettings& settings = DelayLoadSettings::Instance();
  const std::wstring ns = L"SOFTWARE\\Korvane\\NS\\kvtest\\TZK\\DelayLoad";

  // As the program runs: the system directory only, never the program's own directory.
  DWORD error = 0;
  EXPECT_EQ(ResolvedPath(kProbe, &error), L"");
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

  settings.SetFlag(DelayLoadSettings::kSearchOwnDirectory, true);
  EXPECT_TRUE(SamePath(ResolvedPath(kProbe), ownCopy_));
  // The configured directory comes first; without its closing backslash it gets one.
  settings.SetDirectory(folder_ / L"a");
  EXPECT_TRUE(SamePath(ResolvedPath(kProbe), Copy(L"a")));
  settings.SetDirectory(folder_ / L"a\\");
  EXPECT_TRUE(SamePath(ResolvedPath(kProbe), Copy(L"a")));
  settings.SetDirectory(L"");
  settings.SetFlag(DelayLoadSettings::kSearchOwnDirectory, false);

  // The profile's namespace key, in the default view, else in the 32-bit view.
  settings.SetProfileName(L"kvtest");
  {
    ScopedRegValue value32(HKEY_LOCAL_MACHINE, ns, kProbe, KEY_WOW64_32KEY);
    ASSERT_TRUE(value32.SetString(Copy(L"c")));
    EXPECT_TRUE(SamePath(ResolvedPath(kProbe), Copy(L"c")));
    ScopedRegValue value(HKEY_LOCAL_MACHINE, ns, kProbe, KEY_WOW64_64KEY);
    ASSERT_TRUE(value.SetString(Copy(L"b")));
    EXPECT_TRUE(SamePath(ResolvedPath(kProbe), Copy(L"b")));
  }
  EXPECT_EQ(ResolvedPath(kProbe, &error), L"");
  // The namespace key was missing: that reason survives the failed system directory.
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_BADKEY));

  // A profile of the table: its id's key.
  {
    ScopedRegValue value(HKEY_LOCAL_MACHINE, kIdKey + std::wstring(L"1400"), kProbe,
                         KEY_WOW64_64KEY);
    ASSERT_TRUE(value.SetString(Copy(L"b")));
    settings.SetProfileName(L"fl_default");
    EXPECT_TRUE(SamePath(ResolvedPath(kProbe), Copy(L"b")));
    settings.SetProfileName(L"FL_default");  // profile names are compared exactly
    EXPECT_EQ(ResolvedPath(kProbe), L"");
  }

  // Profile "default": the library table, by the lower-cased library name, under the value
  // named as the import names the library.
  {
    ScopedRegValue value(HKEY_LOCAL_MACHINE, kIdKey + std::wstring(L"1400"), L"PLINTH64.DLL",
                         KEY_WOW64_64KEY);
    ASSERT_TRUE(value.SetString(Copy(L"a")));
    settings.SetProfileName(L"default");
    EXPECT_TRUE(SamePath(ResolvedPath(L"PLINTH64.DLL"), Copy(L"a")));
    settings.SetProfileName(L"Default");
    EXPECT_EQ(ResolvedPath(L"PLINTH64.DLL"), L"");
  }

  // Mode 1: the configured profile id's key.
  settings.SetProfileName(L"");
  {
    ScopedRegValue value(HKEY_LOCAL_MACHINE, kIdKey + std::wstring(L"777"), kProbe,
                         KEY_WOW64_64KEY);
    ASSERT_TRUE(value.SetString(Copy(L"c")));
    settings.SetProfileId(777);
    EXPECT_EQ(ResolvedPath(kProbe), L"");
    settings.SetMode(1);
    EXPECT_TRUE(SamePath(ResolvedPath(kProbe), Copy(L"c")));
  }
}

TEST_F(DelayLoadTest, RegistryDataIsTakenAsStored) {
  DelayLoadSettings::Instance().SetProfileName(L"kvtest");
  const std::wstring ns = L"SOFTWARE\\Korvane\\NS\\kvtest\\TZK\\DelayLoad";
  ScopedRegValue value(HKEY_LOCAL_MACHINE, ns, kProbe, KEY_WOW64_64KEY);

  // An environment variable is not expanded.
  ::SetEnvironmentVariableW(L"KVPROBEDIR", (folder_ / L"a").c_str());
  ASSERT_TRUE(value.SetString(L"%KVPROBEDIR%\\kvdelayprobe.dll", REG_EXPAND_SZ));
  EXPECT_EQ(DelayLoad::ReadRegistryString(HKEY_LOCAL_MACHINE, ns, kProbe, 0),
            L"%KVPROBEDIR%\\kvdelayprobe.dll");
  EXPECT_EQ(ResolvedPath(kProbe), L"");

  // Of several strings the first is the path; data without a terminator is whole.
  const std::wstring multi = Copy(L"b") + L'\0' + Copy(L"c") + L'\0' + L'\0';
  ASSERT_TRUE(
      value.SetRaw(REG_MULTI_SZ, multi.data(), static_cast<DWORD>(multi.size() * sizeof(wchar_t))));
  EXPECT_TRUE(SamePath(ResolvedPath(kProbe), Copy(L"b")));
  const std::wstring bare = Copy(L"a");
  ASSERT_TRUE(value.SetRaw(REG_SZ, bare.data(), static_cast<DWORD>(bare.size() * sizeof(wchar_t))));
  EXPECT_TRUE(SamePath(ResolvedPath(kProbe), Copy(L"a")));

  // Other types are no path; each failure says which step failed.
  ASSERT_TRUE(value.SetDword(5));
  EXPECT_EQ(DelayLoad::ReadRegistryString(HKEY_LOCAL_MACHINE, ns, kProbe, 0), L"");
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
  EXPECT_EQ(DelayLoad::ReadRegistryString(HKEY_LOCAL_MACHINE, ns, L"no such value", 0), L"");
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
  EXPECT_EQ(DelayLoad::ReadRegistryString(HKEY_LOCAL_MACHINE, ns + L"\\missing", kProbe, 0), L"");
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_BADKEY));
}

TEST_F(DelayLoadTest, TheLibraryIsHandedTheSettingsInItsMode) {
  DelayLoadSettings& settings = DelayLoadSettings::Instance();
  settings.SetDirectory(folder_ / L"a");
  settings.SetFlag(0x30 | DelayLoadSettings::kSearchOwnDirectory, true);
  using LastRecord = void(WINAPI*)(DelayProbeRecord*);

  struct Case {
    uint32_t mode;
    const wchar_t* profile;
    int version;
    uint32_t size;
    uint32_t flags;
  };
  const Case cases[] = {
      {0, L"", 0, 24, 0x31},
      {0, L"some profile", 0, 24, 0x31},
      {1, L"", 1, 20, 0x1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    settings.SetMode(c.mode);
    settings.SetProfileName(c.profile);
    settings.SetProfileId(42);
    HMODULE module = DelayLoad::ResolveLibrary("kvdelayprobe.dll");
    ASSERT_NE(module, nullptr);
    const auto lastRecord = reinterpret_cast<LastRecord>(
        reinterpret_cast<void*>(::GetProcAddress(module, "ProbeLastRecord")));
    ASSERT_NE(lastRecord, nullptr);
    DelayProbeRecord record;
    lastRecord(&record);
    EXPECT_EQ(record.calls, 1);
    EXPECT_EQ(record.version, c.version);
    EXPECT_EQ(record.size, c.size);
    EXPECT_EQ(record.flags, c.flags);
    EXPECT_FALSE(record.directoryNull);
    EXPECT_EQ(std::wstring(record.directory), folder_ / L"a");
    if (c.version == 0) {
      EXPECT_EQ(record.profileNull, *c.profile == L'\0');
      EXPECT_EQ(std::wstring(record.profile), c.profile);
    } else {
      EXPECT_EQ(record.profileId, 42u);
    }
    ::FreeLibrary(module);
    EXPECT_EQ(::GetModuleHandleW(kProbe), nullptr) << "the library stayed loaded";
  }
}

TEST_F(DelayLoadTest, ImportsBindOnFirstCallByOrdinalAndByName) {
  DelayLoadSettings& settings = DelayLoadSettings::Instance();
  settings.SetDirectory(folder_ / L"b");
  settings.SetOwnerKey(0x1234);
  ASSERT_EQ(::GetModuleHandleW(kProbe), nullptr);

  EXPECT_EQ(ProbeOrdinal(), kProbeOrdinal);  // exported by ordinal only
  EXPECT_EQ(ProbeNamed(), 8);
  wchar_t path[MAX_PATH] = {};
  ASSERT_GT(ProbeModulePath(path, MAX_PATH), 0u);
  EXPECT_TRUE(SamePath(path, Copy(L"b")));
  EXPECT_EQ(settings.LoadedModule(0x1234), "kvdelayprobe.dll");
  EXPECT_EQ(settings.LoadedModule(0), "");
}

TEST_F(DelayLoadTest, TheProgramsLibrariesComeFromTheSystemDirectory) {
  DelayLoadSettings& settings = DelayLoadSettings::Instance();
  settings.SetOwnerKey(7);
  // A library of that name in the current directory is never taken.
  ASSERT_TRUE(::CopyFileW(ownCopy_.c_str(), (folder_ / L"msi.dll").c_str(), FALSE));
  ASSERT_TRUE(::CopyFileW(ownCopy_.c_str(), (folder_ / L"USERENV.dll").c_str(), FALSE));
  ::SetCurrentDirectoryW(folder_.Path().c_str());
  ASSERT_EQ(::GetModuleHandleW(L"msi.dll"), nullptr) << "msi.dll is loaded before its first use";

  MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
  EXPECT_EQ(MsiSetInternalUI(INSTALLUILEVEL_BASIC, nullptr), INSTALLUILEVEL_NONE);
  EXPECT_EQ(settings.LoadedModule(7), "msi.dll");
  HMODULE msi = ::GetModuleHandleW(L"msi.dll");
  ASSERT_NE(msi, nullptr);
  EXPECT_TRUE(SamePath(ModulePath(msi), CombinePath(GetSystemDirectoryPath(), L"msi.dll")));

  wchar_t profiles[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  EXPECT_TRUE(GetProfilesDirectoryW(profiles, &size));
  EXPECT_EQ(settings.LoadedModule(7), "USERENV.dll");
  HMODULE userenv = ::GetModuleHandleW(L"userenv.dll");
  ASSERT_NE(userenv, nullptr);
  EXPECT_TRUE(SamePath(ModulePath(userenv), CombinePath(GetSystemDirectoryPath(), L"userenv.dll")));
  ::SetCurrentDirectoryW(GetSystemDirectoryPath().c_str());
}

// The import slot of ProbeOrdinal (the linker's name for it).
extern "C" FARPROC __imp_ProbeOrdinal;

// The delay-import descriptor whose import slots hold `slot`. The linker does not fill the
// image's delay-import directory, so the descriptor is looked for in the image's sections.
PCImgDelayDescr FindDescriptor(const char* library, const FARPROC* slot) {
  auto* base = reinterpret_cast<const BYTE*>(::GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const DWORD imageSize = nt->OptionalHeader.SizeOfImage;
  const auto slotRva = static_cast<DWORD>(reinterpret_cast<const BYTE*>(slot) - base);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (WORD s = 0; s < nt->FileHeader.NumberOfSections; ++s, ++section) {
    const BYTE* begin = base + section->VirtualAddress;
    const DWORD size = section->Misc.VirtualSize;
    for (DWORD offset = 0; offset + sizeof(ImgDelayDescr) <= size; offset += 4) {
      const auto* d = reinterpret_cast<const ImgDelayDescr*>(begin + offset);
      if (d->grAttrs != dlattrRva || d->rvaDLLName == 0 || d->rvaDLLName >= imageSize ||
          d->rvaIAT > slotRva || slotRva - d->rvaIAT >= 64 * sizeof(FARPROC)) {
        continue;
      }
      if (lstrcmpiA(reinterpret_cast<const char*>(base + d->rvaDLLName), library) == 0) return d;
    }
  }
  return nullptr;
}

TEST_F(DelayLoadTest, EnteringTheHelperTwiceForOneImportKeepsOneReference) {
  DelayLoadSettings::Instance().SetDirectory(folder_ / L"a");
  FARPROC* slot = &__imp_ProbeOrdinal;
  PCImgDelayDescr descriptor = FindDescriptor("kvdelayprobe.dll", slot);
  ASSERT_NE(descriptor, nullptr);

  const FARPROC first = DelayLoadHelper(descriptor, slot);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(*slot, first);
  EXPECT_EQ(DelayLoadHelper(descriptor, slot), first);
  EXPECT_EQ(reinterpret_cast<int(WINAPI*)()>(reinterpret_cast<void*>(first))(), kProbeOrdinal);

  HMODULE module = ::GetModuleHandleW(kProbe);
  ASSERT_NE(module, nullptr);
  ::FreeLibrary(module);
  EXPECT_EQ(::GetModuleHandleW(kProbe), nullptr) << "a second reference was kept";
}

TEST_F(DelayLoadTest, ThreadsRacingToTheFirstCallKeepOneReference) {
  DelayLoadSettings::Instance().SetDirectory(folder_ / L"c");
  std::atomic<int> waiting{16};
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 16; ++i) {
    threads.emplace_back([&] {
      --waiting;
      while (waiting.load() > 0) {
      }
      if (ProbeNamed() != 8) ++wrong;
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  HMODULE module = ::GetModuleHandleW(kProbe);
  ASSERT_NE(module, nullptr);
  ::FreeLibrary(module);
  EXPECT_EQ(::GetModuleHandleW(kProbe), nullptr) << "a racing thread's reference was kept";
}

TEST(DelayLoadFailures, ReachTheCallerAsExceptionsWithTheLoadInformation) {
  struct Case {
    std::wstring arguments;
    DWORD code;
    std::string output;
  };
  const std::wstring probeDirectory = L"\"" + std::wstring(DELAY_PROBE_DIR) + L"\"";
  const Case cases[] = {
      {L"missing", 0xC06D007E, "code=C06D007E dll=kvdelaymissing.dll error=126"},
      {L"badkey", 0xC06D007E, "code=C06D007E dll=kvdelaymissing.dll error=1010"},
      {L"noproc " + probeDirectory, 0xC06D007F, "code=C06D007F dll=kvdelayprobe.dll error=127"},
      {L"badattr", 0xC06D0057, "code=C06D0057 dll=(none) error=0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    const RunResult result = RunProgram(DELAY_CHILD_EXE, c.arguments);
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, c.code);
    EXPECT_EQ(result.output, c.output);
  }
}

}  // namespace
