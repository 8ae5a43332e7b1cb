#include "DelayLoad.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "DelayLoadSettings.h"
#include "SpecialFolders.h"
#include "StringUtils.h"
#include "Win32Registry.h"

namespace {

constexpr wchar_t kNamespaceKey[] = L"SOFTWARE\\Korvane\\NS\\";
constexpr wchar_t kNamespaceSubkey[] = L"\\TZK\\DelayLoad";
constexpr wchar_t kIdKey[] = L"SOFTWARE\\Korvane\\TZK\\Delay loading\\";

struct NamedId {
  std::wstring_view name;
  uint32_t id;
};

// Compared exactly.
constexpr NamedId kProfiles[] = {{L"default", 100}, {L"fl_default", 1400}, {L"ptw_default", 1500}};
// Compared with the library name lower-cased.
constexpr NamedId kLibraries[] = {{L"plinth32.dll", 1400}, {L"plinth64.dll", 1400}};

template <size_t N>
const NamedId* Find(const NamedId (&table)[N], const std::wstring& name) {
  for (const NamedId& row : table) {
    if (row.name == name) return &row;
  }
  return nullptr;
}

std::wstring WithBackslash(std::wstring directory) {
  if (!directory.empty() && directory.back() != L'\\') directory += L'\\';
  return directory;
}

std::wstring IdKey(uint32_t id) { return kIdKey + std::to_wstring(id); }

// The folder of the running program with its closing backslash; empty when the path has
// no backslash.
std::wstring OwnDirectory() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      const std::wstring path(buffer.data(), length);
      const size_t slash = path.rfind(L'\\');
      return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring AsciiLower(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

HMODULE SearchBeforeSystemDirectory(const std::wstring& name) {
  const DelayLoadSettings& settings = DelayLoadSettings::Instance();
  HMODULE module = nullptr;
  if (!settings.Directory().empty()) {
    module = ::LoadLibraryW((WithBackslash(settings.Directory()) + name).c_str());
    if (module != nullptr) return module;
  }
  if ((settings.Flags() & DelayLoadSettings::kSearchOwnDirectory) != 0) {
    const std::wstring own = OwnDirectory();
    if (!own.empty()) {
      module = ::LoadLibraryW((own + name).c_str());
      if (module != nullptr) return module;
    }
  }
  const std::wstring& profile = settings.ProfileName();
  if (!profile.empty()) {
    module = DelayLoad::LoadFromRegistryValue(kNamespaceKey + profile + kNamespaceSubkey, name);
    if (module != nullptr) return module;
  }
  if (const NamedId* row = Find(kProfiles, profile)) {
    module = DelayLoad::LoadFromRegistryValue(IdKey(row->id), name);
    if (module != nullptr) return module;
  }
  if (profile == L"default") {
    if (const NamedId* row = Find(kLibraries, AsciiLower(name))) {
      module = DelayLoad::LoadFromRegistryValue(IdKey(row->id), name);
      if (module != nullptr) return module;
    }
  }
  if (settings.Mode() == 1) {
    module = DelayLoad::LoadFromRegistryValue(IdKey(settings.ProfileId()), name);
  }
  return module;
}

HMODULE LoadFromSystemDirectory(const std::wstring& name) {
  const DWORD earlierError = ::GetLastError();
  const std::wstring system = GetSystemDirectoryPath();
  if (system.empty()) return nullptr;
  HMODULE module = ::LoadLibraryW((WithBackslash(system) + name).c_str());
  if (module == nullptr && ::GetLastError() == ERROR_MOD_NOT_FOUND && earlierError != 0) {
    ::SetLastError(earlierError);
  }
  return module;
}

// Hands the settings to the library when it asks for them.
void CallDependencyExport(HMODULE module) {
  const DelayLoadSettings& settings = DelayLoadSettings::Instance();
  if (settings.Mode() == 1) {
    using Export = void(WINAPI*)(DelayLoadRecordV1*);
    const auto call = reinterpret_cast<Export>(
        reinterpret_cast<void*>(::GetProcAddress(module, "KVDelayLoadDependencies")));
    if (call == nullptr) return;
    DelayLoadRecordV1 record{};
    settings.FillRecordV1(record);
    call(&record);
  } else {
    using Export = void(WINAPI*)(DelayLoadRecordV0*);
    const auto call = reinterpret_cast<Export>(
        reinterpret_cast<void*>(::GetProcAddress(module, "TzkDelayLoadDependencies")));
    if (call == nullptr) return;
    DelayLoadRecordV0 record{};
    settings.FillRecordV0(record);
    call(&record);
  }
}

}  // namespace

namespace DelayLoad {

HMODULE ResolveLibrary(const char* libraryName) {
  const std::wstring name = libraryName == nullptr ? std::wstring() : AcpToWide(libraryName);
  if (name.empty()) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // Only the errors of the steps below may reach the caller.
  ::SetLastError(ERROR_SUCCESS);
  HMODULE module = SearchBeforeSystemDirectory(name);
  if (module == nullptr) module = LoadFromSystemDirectory(name);
  if (module != nullptr) CallDependencyExport(module);
  return module;
}

std::wstring ReadRegistryString(HKEY hive, const std::wstring& key, const std::wstring& name,
                                REGSAM view) {
  Win32Registry registry;
  registry.SetRoot(hive);
  registry.SetAccess(view);
  ByteList bytes;
  uint32_t type = REG_NONE;
  if (!registry.GetRawValue(key, name, bytes, type)) {
    ::SetLastError(registry.KeyExists(key) ? ERROR_INVALID_NAME : ERROR_BADKEY);
    return {};
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) {
    ::SetLastError(ERROR_INVALID_NAME);
    return {};
  }
  std::wstring text(bytes.size() / 2, L'\0');
  if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
  if (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

HMODULE LoadFromRegistryValue(const std::wstring& key, const std::wstring& libraryName) {
  for (REGSAM view : {REGSAM{0}, REGSAM{KEY_WOW64_32KEY}}) {
    const std::wstring path = ReadRegistryString(HKEY_LOCAL_MACHINE, key, libraryName, view);
    if (!path.empty()) return ::LoadLibraryW(path.c_str());
  }
  return nullptr;
}

}  // namespace DelayLoad
