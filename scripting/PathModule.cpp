// The Path table: drops entries from the file operations that Windows carries out at the
// next restart (the PendingFileRenameOperations value of the Session Manager).
#include <windows.h>

#include <cstring>
#include <utility>
#include <vector>

#include "Log.h"
#include "LuaCallContext.h"
#include "LuaModules.h"
#include "StringUtils.h"
#include "UniqueAny.h"
#include "Win32Registry.h"

using namespace KvTzkLogging;

namespace {

constexpr wchar_t kSessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingValue[] = L"PendingFileRenameOperations";
// Paths in the value normally begin with the namespace marker "\??\".
constexpr size_t kMarkerLength = 4;

// (source, target); an empty target deletes the source.
using PendingPair = std::pair<std::wstring, std::wstring>;

// Raw reads and writes of the pending-operations value on HKEY_LOCAL_MACHINE. The methods open
// their key with fixed rights (the access bits are not added), log, and leave the Windows error of
// a failure as the thread's last error.
class Win32RegistryForTools : public Win32Registry {
 public:
  bool GetValueRaw(const std::wstring& key, const std::wstring& name, ByteList& bytes) {
    constexpr char kFunction[] = "`anonymous namespace'::Win32RegistryForTools::GetValueRaw";
    LogFuncW(LogInfo, kFunction, L"Get value '%s' from '%s'", name.c_str(), key.c_str());
    UniqueHKey opened;
    if (!OpenLogged(key, KEY_READ, kFunction, opened)) return false;
    ByteList data(1);
    DWORD size = 1;
    LONG result =
        ::RegQueryValueExW(opened.get(), name.c_str(), nullptr, nullptr, data.data(), &size);
    while (result == ERROR_MORE_DATA) {
      data.resize(size);
      result = ::RegQueryValueExW(opened.get(), name.c_str(), nullptr, nullptr, data.data(), &size);
    }
    if (result != ERROR_SUCCESS) {
      LogFuncW(LogDebug, kFunction, L"Failed to get value '%s'. Error: %lu", name.c_str(), result);
      ::SetLastError(static_cast<DWORD>(result));
      return false;
    }
    data.resize(size);
    bytes.swap(data);
    return true;
  }

  // Exactly `length` units of `text` as REG_MULTI_SZ: nothing is appended.
  bool SetValueRaw(const std::wstring& key, const std::wstring& name, const wchar_t* text,
                   size_t length) {
    constexpr char kFunction[] = "`anonymous namespace'::Win32RegistryForTools::SetValueRaw";
    LogFuncW(LogInfo, kFunction, L"Set value '%s' on '%s'", name.c_str(), key.c_str());
    UniqueHKey opened;
    if (!OpenLogged(key, KEY_WRITE, kFunction, opened)) return false;
    const LONG result = ::RegSetValueExW(opened.get(), name.c_str(), 0, REG_MULTI_SZ,
                                         reinterpret_cast<const BYTE*>(text),
                                         static_cast<DWORD>(length * sizeof(wchar_t)));
    if (result != ERROR_SUCCESS) {
      LogFuncW(LogDebug, kFunction, L"Failed to set value '%s'. Error: %lu", name.c_str(), result);
      ::SetLastError(static_cast<DWORD>(result));
      return false;
    }
    return true;
  }

 private:
  bool OpenLogged(const std::wstring& key, REGSAM rights, const char* function,
                  UniqueHKey& opened) {
    const LONG result = ::RegOpenKeyExW(root_, key.c_str(), 0, rights, opened.put());
    if (result == ERROR_SUCCESS) return true;
    LogFuncW(LogDebug, function, L"Failed to open key '%s'. Error: %lu", key.c_str(), result);
    ::SetLastError(static_cast<DWORD>(result));
    return false;
  }
};

// Every pair of the value, the terminating pair of empty texts of a well-formed value
// included. False when the value can't be read or its strings don't pair up.
bool GetAllPendingPairs(std::vector<PendingPair>& pairs) {
  Win32RegistryForTools registry;
  ByteList bytes;
  if (!registry.GetValueRaw(kSessionManagerKey, kPendingValue, bytes)) {
    LogFuncW(LogDebug, "`anonymous namespace'::GetAllPendingPairs",
             L"Error reading '%s'. Error %lu", kPendingValue, ::GetLastError());
    return false;
  }
  std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
  if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
  const StringList pieces = Split(text, L'\0');
  if (pieces.size() % 2 != 0) return false;
  for (size_t i = 0; i < pieces.size(); i += 2) pairs.emplace_back(pieces[i], pieces[i + 1]);
  return true;
}

// Whether the source lies at or below the prefix: the prefix begins the source, or follows
// the namespace marker, and ends where a path component ends.
bool IsUnderPrefix(const std::wstring& source, const std::wstring& prefix) {
  if (prefix.empty() || prefix.size() > source.size()) return false;
  const size_t start = source.find(prefix);
  if (start != 0 && start != kMarkerLength) return false;
  const size_t end = start + prefix.size();
  return end == source.size() || source[end] == L'\\' || prefix.back() == L'\\';
}

// Removes the pairs whose source lies under the prefix; the number removed.
size_t RemoveByPrefix(std::vector<PendingPair>& pairs, const std::wstring& prefix) {
  LogFuncW(LogDebug, "`anonymous namespace'::RemoveByPrefix",
           L"Got %lu values in PendingOperation. Prefix: '%s'",
           static_cast<unsigned long>(pairs.size()), prefix.c_str());
  size_t removed = 0;
  std::vector<PendingPair> kept;
  for (auto& pair : pairs) {
    LogFuncW(LogDebug, "`anonymous namespace'::RemoveByPrefix",
             L"Path in PendingOperation '%s'->'%s'", pair.first.c_str(), pair.second.c_str());
    if (IsUnderPrefix(pair.first, prefix)) {
      LogFuncW(LogDebug, "`anonymous namespace'::RemoveByPrefix",
               L"Removing path from PendingOperation '%s'->'%s'", pair.first.c_str(),
               pair.second.c_str());
      ++removed;
    } else {
      kept.push_back(std::move(pair));
    }
  }
  pairs.swap(kept);
  return removed;
}

bool WritePendingPairs(const std::vector<PendingPair>& pairs) {
  StringList pieces;
  for (const auto& pair : pairs) {
    pieces.push_back(pair.first);
    pieces.push_back(pair.second);
  }
  const std::wstring text = Join(pieces, L'\0');
  Win32RegistryForTools registry;
  return registry.SetValueRaw(kSessionManagerKey, kPendingValue, text.data(), text.size());
}

// Results: the number of pairs removed; nothing (nil for the script) for a refused prefix, an
// empty one among them (it would remove every pending operation of the machine), and when the
// value can't be read, doesn't pair up or can't be written back. The value is written back
// only when something was removed.
int RemoveFromPendingOperation(lua_State* state) {
  static const char* const kName = "Lua::Path::RemoveFromPendingOperation";
  LuaCallContext context(state, kName);
  const std::wstring prefix = context.NextPath(LuaCallContext::Access::Read);
  if (context.Refused()) return context.ResultCount();
  LogFuncW(LogDebug, kName, L"Got prefix to remove: '%s'", prefix.c_str());
  if (prefix.empty()) {
    context.Refuse(1, L"an empty prefix would remove every pending file operation");
    return context.ResultCount();
  }
  std::vector<PendingPair> pairs;
  if (!GetAllPendingPairs(pairs)) return context.ResultCount();
  const size_t removed = RemoveByPrefix(pairs, prefix);
  if (removed != 0 && !WritePendingPairs(pairs)) return context.ResultCount();
  context.PushInteger(static_cast<lua_Integer>(removed));
  return context.ResultCount();
}

const luaL_Reg kFunctions[] = {
    {"RemoveFromPendingOperation", RemoveFromPendingOperation},
    {nullptr, nullptr},
};

}  // namespace

void RegisterPathModule(lua_State* state) { RegisterModuleTable(state, "Path", kFunctions); }
