#include "Win32Registry.h"

#include <winternl.h>

#include <cstring>

#include "StringUtils.h"
#include "UniqueAny.h"

namespace {

// Subkey names are at most 255 characters; one more unit for the terminator, which
// RegEnumKeyExW counts in the capacity.
constexpr DWORD kSubkeyNameCapacity = 256;
constexpr DWORD kValueNameCapacity = 32767;
// The value in which a registry link holds the path of its target.
constexpr wchar_t kSymbolicLinkValue[] = L"SymbolicLinkValue";

bool SplitKeyPath(const std::wstring& path, std::wstring& parent, std::wstring& child) {
  const size_t last = path.rfind(L'\\');
  if (last == std::wstring::npos) return false;
  parent = path.substr(0, last);
  child = path.substr(last + 1);
  return true;
}

LONG EnumerateSubkey(HKEY key, DWORD index, wchar_t* name, DWORD* length) {
  return ::RegEnumKeyExW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
}

std::wstring JoinKeyPath(const std::wstring& parent, const std::wstring& child) {
  return parent + L"\\" + child;
}

}  // namespace

// Deletes the key of the handle itself: the one deletion that never follows a link.
extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE key);

WideList MultiStringToVector(const wchar_t* units, size_t count) {
  WideList list;
  size_t start = 0;
  for (size_t i = 0; i < count; ++i) {
    if (units[i] != L'\0') continue;
    if (i == start) break;
    list.emplace_back(units + start, i - start);
    start = i + 1;
  }
  return list;
}

bool VectorToMultiString(const WideList& list, std::wstring& result) {
  result.clear();
  for (const auto& element : list) {
    if (element.empty()) {
      result.clear();
      return false;
    }
    result += element;
    result.push_back(L'\0');
  }
  result.push_back(L'\0');
  if (list.empty()) result.push_back(L'\0');
  return true;
}

WideList Utf8VectorToWide(const Utf8List& list) {
  WideList result;
  result.reserve(list.size());
  for (const auto& element : list) result.push_back(Utf8ToWide(element));
  return result;
}

Utf8List WideVectorToUtf8(const WideList& list) {
  Utf8List result;
  result.reserve(list.size());
  for (const auto& element : list) result.push_back(WideToUtf8(element));
  return result;
}

void ExpandEnvironmentStringsInPlace(std::wstring& text) {
  std::wstring work;
  DWORD reported = ::ExpandEnvironmentStringsW(text.c_str(), work.data(), 0);
  while (reported > work.size()) {
    work.resize(reported, L'\0');
    reported =
        ::ExpandEnvironmentStringsW(text.c_str(), work.data(), static_cast<DWORD>(work.size()));
  }
  if (reported == 0) {
    work.clear();
  } else {
    work.resize(reported - 1);
  }
  text.swap(work);
}

// --- state and error kinds ---

void Win32Registry::SetRoot(HKEY root) { root_ = root; }

void Win32Registry::SetAccess(REGSAM access) { access_ = access; }

int Win32Registry::GetLastErrorKind() { return lastErrorKind_; }

int Win32Registry::KindOfError(LONG error) {
  switch (error) {
    case ERROR_SUCCESS: return RegistryError::Ok;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    // A key deleted by someone else while a handle to it (or to a key above it) was open.
    case ERROR_KEY_DELETED: return RegistryError::NotFound;
    case ERROR_ACCESS_DENIED: return RegistryError::AccessDenied;
    case ERROR_INVALID_PARAMETER: return RegistryError::InvalidParameter;
    default: return RegistryError::Failed;
  }
}

bool Win32Registry::Report(int kind, int* out) {
  lastErrorKind_ = kind;
  if (out != nullptr) *out = kind;
  return kind == RegistryError::Ok;
}

LONG Win32Registry::Open(const std::wstring& key, REGSAM rights, HKEY* opened) const {
  return ::RegOpenKeyExW(root_, key.c_str(), 0, rights | access_, opened);
}

// --- values ---

uint32_t Win32Registry::GetValueType(const std::wstring& key, const std::wstring& name, int* kind) {
  UniqueHKey opened;
  LONG result = Open(key, KEY_QUERY_VALUE, opened.put());
  if (result != ERROR_SUCCESS) return ReportError(result, kind), 0;
  DWORD type = REG_NONE;
  result = ::RegQueryValueExW(opened.get(), name.c_str(), nullptr, &type, nullptr, nullptr);
  if (result != ERROR_SUCCESS) return ReportError(result, kind), 0;
  Report(RegistryError::Ok, kind);
  return type;
}

bool Win32Registry::GetString(const std::wstring& key, const std::wstring& name, std::wstring& text,
                              int* kind) {
  UniqueHKey opened;
  LONG result = Open(key, KEY_QUERY_VALUE, opened.put());
  if (result != ERROR_SUCCESS) return ReportError(result, kind);
  DWORD type = REG_NONE;
  DWORD size = 0;
  do {
    text.resize((size + 1) / 2, L'\0');
    result = ::RegQueryValueExW(opened.get(), name.c_str(), nullptr, &type,
                                reinterpret_cast<BYTE*>(text.data()), &size);
  } while (result == ERROR_MORE_DATA);
  if (result != ERROR_SUCCESS) {
    text.clear();
    return ReportError(result, kind);
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) {
    text.clear();
    return Report(RegistryError::WrongType, kind);
  }
  text.resize(size / 2);
  if (!text.empty() && text.back() == L'\0') text.pop_back();
  return Report(RegistryError::Ok, kind);
}

namespace {

// The fixed-size reads: straight into the caller's variable, REG_NONE accepted.
template <typename T>
LONG QueryFixed(HKEY key, const std::wstring& name, DWORD wanted, T& value, DWORD& type) {
  type = wanted;
  DWORD size = sizeof(T);
  return ::RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                            &size);
}

}  // namespace

bool Win32Registry::GetDWORD(const std::wstring& key, const std::wstring& name, uint32_t& value,
                             int* kind) {
  UniqueHKey opened;
  LONG result = Open(key, KEY_QUERY_VALUE, opened.put());
  if (result != ERROR_SUCCESS) return ReportError(result, kind);
  DWORD type = REG_NONE;
  result = QueryFixed(opened.get(), name, REG_DWORD, value, type);
  if (type != REG_DWORD && type != REG_NONE) return Report(RegistryError::WrongType, kind);
  return ReportError(result, kind);
}

bool Win32Registry::GetQWORD(const std::wstring& key, const std::wstring& name, uint64_t& value,
                             int* kind) {
  UniqueHKey opened;
  LONG result = Open(key, KEY_QUERY_VALUE, opened.put());
  if (result != ERROR_SUCCESS) return ReportError(result, kind);
  DWORD type = REG_NONE;
  result = QueryFixed(opened.get(), name, REG_QWORD, value, type);
  if (type != REG_QWORD && type != REG_NONE) return Report(RegistryError::WrongType, kind);
  return ReportError(result, kind);
}

bool Win32Registry::GetBinary(const std::wstring& key, const std::wstring& name, ByteList& bytes,
                              int* kind) {
  UniqueHKey opened;
  LONG result = Open(key, KEY_QUERY_VALUE, opened.put());
  if (result != ERROR_SUCCESS) return ReportError(result, kind);
  DWORD type = REG_NONE;
  DWORD size = 0;
  result = ::RegQueryValueExW(opened.get(), name.c_str(), nullptr, &type, nullptr, &size);
  if (result != ERROR_SUCCESS) return ReportError(result, kind);
  if (type != REG_BINARY) return Report(RegistryError::WrongType, kind);
  bytes.resize(size);
  if (size != 0) {
    result = ::RegQueryValueExW(opened.get(), name.c_str(), nullptr, nullptr, bytes.data(), &size);
    if (result != ERROR_SUCCESS) return ReportError(result, kind);
    bytes.resize(size);
  }
  return Report(RegistryError::Ok, kind);
}

bool Win32Registry::GetMultiStringRaw(const std::wstring& key, const std::wstring& name,
                                      ByteList& bytes, int* kind) {
  UniqueHKey opened;
  LONG result = Open(key, KEY_QUERY_VALUE, opened.put());
  if (result != ERROR_SUCCESS) return ReportError(result, kind);
  DWORD type = REG_NONE;
  DWORD size = 0;
  result = ::RegQueryValueExW(opened.get(), name.c_str(), nullptr, &type, nullptr, &size);
  if (result != ERROR_SUCCESS) return ReportError(result, kind);
  if (type != REG_MULTI_SZ) return Report(RegistryError::WrongType, kind);
  bytes.resize(size);
  if (size != 0) {
    result = ::RegQueryValueExW(opened.get(), name.c_str(), nullptr, nullptr, bytes.data(), &size);
    if (result != ERROR_SUCCESS) {
      bytes.clear();
      return ReportError(result, kind);
    }
    bytes.resize(size);
  }
  return Report(RegistryError::Ok, kind);
}

bool Win32Registry::GetMultiString(const std::wstring& key, const std::wstring& name,
                                   WideList& list, int* kind) {
  ByteList bytes;
  if (!GetMultiStringRaw(key, name, bytes, kind)) return false;
  if (bytes.empty()) return Report(RegistryError::Ok, kind);
  std::wstring units(bytes.size() / sizeof(wchar_t), L'\0');
  std::memcpy(units.data(), bytes.data(), units.size() * sizeof(wchar_t));
  list = MultiStringToVector(units.data(), units.size());
  return Report(RegistryError::Ok, kind);
}

bool Win32Registry::GetRawValue(const std::wstring& key, const std::wstring& name, ByteList& bytes,
                                uint32_t& type, int* kind) {
  UniqueHKey opened;
  LONG result = Open(key, KEY_QUERY_VALUE, opened.put());
  if (result != ERROR_SUCCESS) return ReportError(result, kind);
  DWORD found = REG_NONE;
  DWORD size = 0;
  result = ::RegQueryValueExW(opened.get(), name.c_str(), nullptr, &found, nullptr, &size);
  if (result != ERROR_SUCCESS) return ReportError(result, kind);
  bytes.resize(size);
  if (size != 0) {
    result = ::RegQueryValueExW(opened.get(), name.c_str(), nullptr, nullptr, bytes.data(), &size);
    if (result != ERROR_SUCCESS) return ReportError(result, kind);
    bytes.resize(size);
  }
  type = found;
  return Report(RegistryError::Ok, kind);
}

bool Win32Registry::SetValue(const std::wstring& key, const std::wstring& name, DWORD type,
                             const void* data, size_t size, int* kind) {
  UniqueHKey opened;
  LONG result = Open(key, KEY_SET_VALUE, opened.put());
  if (result != ERROR_SUCCESS) return ReportError(result, kind);
  result = ::RegSetValueExW(opened.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data),
                            static_cast<DWORD>(size));
  return ReportError(result, kind);
}

bool Win32Registry::SetString(const std::wstring& key, const std::wstring& name,
                              const std::wstring& text, int* kind) {
  return SetValue(key, name, REG_SZ, text.c_str(), (text.size() + 1) * sizeof(wchar_t), kind);
}

bool Win32Registry::SetDWORD(const std::wstring& key, const std::wstring& name, uint32_t value,
                             int* kind) {
  return SetValue(key, name, REG_DWORD, &value, sizeof(value), kind);
}

bool Win32Registry::SetQWORD(const std::wstring& key, const std::wstring& name, uint64_t value,
                             int* kind) {
  return SetValue(key, name, REG_QWORD, &value, sizeof(value), kind);
}

bool Win32Registry::SetMultiString(const std::wstring& key, const std::wstring& name,
                                   const WideList& list, int* kind) {
  std::wstring joined;
  if (!VectorToMultiString(list, joined)) return Report(RegistryError::InvalidParameter, kind);
  return SetValue(key, name, REG_MULTI_SZ, joined.data(), joined.size() * sizeof(wchar_t), kind);
}

bool Win32Registry::SetBinary(const std::wstring& key, const std::wstring& name,
                              const ByteList& bytes, int* kind) {
  return SetValue(key, name, REG_BINARY, bytes.data(), bytes.size(), kind);
}

bool Win32Registry::DeleteValue(const std::wstring& key, const std::wstring& name, int* kind) {
  UniqueHKey opened;
  LONG result = Open(key, KEY_SET_VALUE, opened.put());
  if (result != ERROR_SUCCESS) return ReportError(result, kind);
  return ReportError(::RegDeleteValueW(opened.get(), name.c_str()), kind);
}

// --- keys ---

bool Win32Registry::KeyExists(const std::wstring& key, int* kind) {
  UniqueHKey opened;
  LONG result = Open(key, READ_CONTROL, opened.put());
  if (result == ERROR_ACCESS_DENIED) {
    // A key that keeps even its security to itself is there all the same. The open without
    // rights tells it from a missing key where the denial came from a key on the way.
    result = Open(key, 0, opened.put());
    if (result == ERROR_ACCESS_DENIED) result = ERROR_SUCCESS;
  }
  return ReportError(result, kind);
}

bool Win32Registry::KeyExists(const std::wstring& parent, const std::wstring& child, int* kind) {
  return KeyExists(JoinKeyPath(parent, child), kind);
}

bool Win32Registry::CreateKey(const std::wstring& parent, const std::wstring& child, int* kind) {
  if (child.empty()) return Report(RegistryError::InvalidParameter, kind);
  UniqueHKey created;
  const LONG result = ::RegCreateKeyExW(root_, JoinKeyPath(parent, child).c_str(), 0, nullptr,
                                        REG_OPTION_NON_VOLATILE, KEY_CREATE_SUB_KEY | access_,
                                        nullptr, created.put(), nullptr);
  return ReportError(result, kind);
}

bool Win32Registry::CreateKey(const std::wstring& path, int* kind) {
  std::wstring parent;
  std::wstring child;
  if (!SplitKeyPath(path, parent, child)) return Report(RegistryError::Ok, kind);
  return CreateKey(parent, kind) && CreateKey(parent, child, kind);
}

bool Win32Registry::DeleteKey(const std::wstring& parent, const std::wstring& child, int* kind) {
  if (child.empty()) return Report(RegistryError::InvalidParameter, kind);
  UniqueHKey opened;
  const LONG result = Open(parent, KEY_READ, opened.put());
  if (result != ERROR_SUCCESS) return ReportError(result, kind);
  return DeleteSubkey(opened.get(), child, kind);
}

bool Win32Registry::DeleteKey(const std::wstring& path, int* kind) {
  std::wstring parent;
  std::wstring child;
  if (!SplitKeyPath(path, parent, child)) return Report(RegistryError::InvalidParameter, kind);
  return DeleteKey(parent, child, kind);
}

bool Win32Registry::DeleteTree(const std::wstring& parent, const std::wstring& child, int* kind) {
  if (child.empty()) return Report(RegistryError::InvalidParameter, kind);
  const std::wstring tree = JoinKeyPath(parent, child);
  // Only a key known not to be a registry link is listed: a link goes as the link.
  UniqueHKey opened;
  bool link = true;
  if (OpenKeyItself(nullptr, tree, KEY_QUERY_VALUE, opened) && IsLink(opened.get(), link) &&
      !link) {
    opened.reset();
    WideList subkeys;
    GetSubkeys(tree, subkeys);
    for (const auto& subkey : subkeys) {
      if (!DeleteTree(tree, subkey, kind)) return false;
    }
  }
  return DeleteKey(parent, child, kind);
}

uint32_t Win32Registry::ListNames(const std::wstring& key, NameEnumerator enumerate, DWORD capacity,
                                  WideList& names, int* kind) {
  UniqueHKey opened;
  const LONG result = Open(key, KEY_READ, opened.put());
  if (result != ERROR_SUCCESS) return ReportError(result, kind), 0;
  return ListNames(opened.get(), enumerate, capacity, names, kind);
}

uint32_t Win32Registry::ListNames(HKEY key, NameEnumerator enumerate, DWORD capacity,
                                  WideList& names, int* kind) {
  names.clear();
  std::wstring buffer(capacity, L'\0');
  LONG result = ERROR_SUCCESS;
  for (DWORD index = 0;; ++index) {
    DWORD length = capacity;
    result = enumerate(key, index, buffer.data(), &length);
    if (result != ERROR_SUCCESS) break;
    names.emplace_back(buffer.data(), length);
  }
  if (result != ERROR_NO_MORE_ITEMS) {
    names.clear();
    return ReportError(result, kind), 0;
  }
  Report(RegistryError::Ok, kind);
  return static_cast<uint32_t>(names.size());
}

uint32_t Win32Registry::GetSubkeys(const std::wstring& key, WideList& names, int* kind) {
  return ListNames(key, EnumerateSubkey, kSubkeyNameCapacity, names, kind);
}

uint32_t Win32Registry::ListSubkeys(HKEY key, WideList& names, int* kind) {
  return ListNames(key, EnumerateSubkey, kSubkeyNameCapacity, names, kind);
}

bool Win32Registry::OpenSubkey(HKEY base, const std::wstring& name, REGSAM rights,
                               UniqueHKey& opened, int* kind) {
  return ReportError(::RegOpenKeyExW(base != nullptr ? base : root_, name.c_str(), 0,
                                     rights | access_, opened.put()),
                     kind);
}

bool Win32Registry::OpenKeyItself(HKEY base, const std::wstring& name, REGSAM rights,
                                  UniqueHKey& opened, int* kind) {
  return ReportError(::RegOpenKeyExW(base != nullptr ? base : root_, name.c_str(),
                                     REG_OPTION_OPEN_LINK, rights | access_, opened.put()),
                     kind);
}

bool Win32Registry::IsLink(HKEY key, bool& link, int* kind) {
  DWORD type = REG_NONE;
  DWORD size = 0;
  const LONG result = ::RegQueryValueExW(key, kSymbolicLinkValue, nullptr, &type, nullptr, &size);
  if (result == ERROR_FILE_NOT_FOUND) {
    link = false;
    return Report(RegistryError::Ok, kind);
  }
  if (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
    link = type == REG_LINK;
    return Report(RegistryError::Ok, kind);
  }
  link = true;
  return ReportError(result, kind);
}

bool Win32Registry::DeleteSubkey(HKEY base, const std::wstring& name, int* kind) {
  if (name.empty()) return Report(RegistryError::InvalidParameter, kind);
  // Opened in the view of the walk (the access bits), so that a child is looked up in the
  // same view as its parent whatever the parent's handle was redirected to; and without
  // following a link, which RegDeleteKeyExW would do: it would delete the link's target.
  UniqueHKey key;
  if (!OpenKeyItself(base, name, DELETE, key, kind)) return false;
  const NTSTATUS status = ::NtDeleteKey(key.get());
  return ReportError(static_cast<LONG>(::RtlNtStatusToDosError(status)), kind);
}

bool Win32Registry::OpenKeyForBackupRestore(HKEY base, const std::wstring& name, REGSAM rights,
                                            UniqueHKey& opened, int* kind) {
  if (name.empty()) return Report(RegistryError::InvalidParameter, kind);
  const HKEY parent = base != nullptr ? base : root_;
  // Windows grants what the privileges grant, whatever is asked; DELETE is asked for all the
  // same, for the key the open may create.
  DWORD disposition = 0;
  const LONG result = ::RegCreateKeyExW(
      parent, name.c_str(), 0, nullptr, REG_OPTION_BACKUP_RESTORE | REG_OPTION_OPEN_LINK,
      rights | DELETE | access_, nullptr, opened.put(), &disposition);
  if (result != ERROR_SUCCESS || disposition != REG_CREATED_NEW_KEY) {
    return ReportError(result, kind);
  }
  // The open creates what is not there: a key that went in the meantime goes again.
  ::NtDeleteKey(opened.get());
  opened.reset();
  return Report(RegistryError::NotFound, kind);
}

bool Win32Registry::DeleteSubkeyForRestore(HKEY base, const std::wstring& name, int* kind) {
  UniqueHKey key;
  if (!OpenKeyForBackupRestore(base, name, DELETE, key, kind)) return false;
  const NTSTATUS status = ::NtDeleteKey(key.get());
  return ReportError(static_cast<LONG>(::RtlNtStatusToDosError(status)), kind);
}

uint32_t Win32Registry::GetValueNames(const std::wstring& key, WideList& names, int* kind) {
  return ListNames(
      key,
      [](HKEY opened, DWORD index, wchar_t* name, DWORD* length) {
        return ::RegEnumValueW(opened, index, name, length, nullptr, nullptr, nullptr, nullptr);
      },
      kValueNameCapacity, names, kind);
}

bool Win32Registry::CopyValue(const std::wstring& sourceKey, const std::wstring& sourceName,
                              const std::wstring& targetKey, const std::wstring& targetName,
                              int* kind) {
  if (sourceKey.empty() || targetKey.empty()) {
    return Report(RegistryError::InvalidParameter, kind);
  }
  UniqueHKey source;
  LONG result = Open(sourceKey, KEY_QUERY_VALUE, source.put());
  if (result != ERROR_SUCCESS) return ReportError(result, kind);
  DWORD type = REG_NONE;
  DWORD size = 0;
  result = ::RegQueryValueExW(source.get(), sourceName.c_str(), nullptr, &type, nullptr, &size);
  if (result != ERROR_SUCCESS) return ReportError(result, kind);
  if (type == REG_NONE) return Report(RegistryError::WrongType, kind);
  ByteList data(size);
  result =
      ::RegQueryValueExW(source.get(), sourceName.c_str(), nullptr, nullptr, data.data(), &size);
  if (result != ERROR_SUCCESS) return ReportError(result, kind);
  UniqueHKey target;
  result = Open(targetKey, KEY_SET_VALUE, target.put());
  if (result != ERROR_SUCCESS) return ReportError(result, kind);
  result = ::RegSetValueExW(target.get(), targetName.c_str(), 0, type, data.data(), size);
  return ReportError(result, kind);
}

bool Win32Registry::CopyTree(const std::wstring& source, const std::wstring& target, int* kind) {
  if (source.empty() || target.empty()) return Report(RegistryError::InvalidParameter, kind);
  // The registry compares names without regard to case, so a target inside the source is
  // refused however it is spelled: the copy would grow into its own source.
  if (StartsWith(target, source + L"\\", true)) {
    return Report(RegistryError::InvalidParameter, kind);
  }
  if (!CreateKey(target, kind)) return false;
  int local = RegistryError::Ok;
  WideList names;
  if (GetValueNames(source, names, &local) == 0 && local != RegistryError::Ok) {
    return Report(local, kind);
  }
  for (const auto& name : names) {
    if (!CopyValue(source, name, target, name, kind)) return false;
  }
  WideList subkeys;
  if (GetSubkeys(source, subkeys, &local) == 0 && local != RegistryError::Ok) {
    return Report(local, kind);
  }
  for (const auto& subkey : subkeys) {
    if (!CopyTree(JoinKeyPath(source, subkey), JoinKeyPath(target, subkey), kind)) return false;
  }
  return Report(RegistryError::Ok, kind);
}

// --- UTF-8 forms ---

uint32_t Win32Registry::GetSubkeys(const std::string& key, Utf8List& names, int* kind) {
  WideList wide;
  int local = RegistryError::Ok;
  const uint32_t count = GetSubkeys(Utf8ToWide(key), wide, &local);
  if (local != RegistryError::Ok) return Report(local, kind), 0;
  names = WideVectorToUtf8(wide);
  Report(RegistryError::Ok, kind);
  return count;
}

uint32_t Win32Registry::GetValueNames(const std::string& key, Utf8List& names, int* kind) {
  WideList wide;
  int local = RegistryError::Ok;
  const uint32_t count = GetValueNames(Utf8ToWide(key), wide, &local);
  if (local != RegistryError::Ok) return Report(local, kind), 0;
  names = WideVectorToUtf8(wide);
  Report(RegistryError::Ok, kind);
  return count;
}

uint32_t Win32Registry::GetSubkeyCount(const std::string& key, int* kind) {
  Utf8List scratch;
  return GetSubkeys(key, scratch, kind);
}

uint32_t Win32Registry::GetValueCount(const std::string& key, int* kind) {
  Utf8List scratch;
  return GetValueNames(key, scratch, kind);
}

std::string Win32Registry::GetSubkeyPath(const std::string& key, uint32_t index, int* kind) {
  Utf8List names;
  int local = RegistryError::Ok;
  const uint32_t count = GetSubkeys(key, names, &local);
  if (local != RegistryError::Ok) return Report(local, kind), std::string();
  if (index >= count) return Report(RegistryError::InvalidParameter, kind), std::string();
  Report(RegistryError::Ok, kind);
  return key + "\\" + names[index];
}

bool Win32Registry::CreateKey(const std::string& parent, const std::string& child, int* kind) {
  return CreateKey(Utf8ToWide(parent), Utf8ToWide(child), kind);
}

bool Win32Registry::DeleteKey(const std::string& parent, const std::string& child, int* kind) {
  return DeleteKey(Utf8ToWide(parent), Utf8ToWide(child), kind);
}

bool Win32Registry::CreateKey(const std::string& path, int* kind) {
  return CreateKey(Utf8ToWide(path), kind);
}

bool Win32Registry::DeleteKey(const std::string& path, int* kind) {
  return DeleteKey(Utf8ToWide(path), kind);
}

bool Win32Registry::KeyExists(const std::string& key, int* kind) {
  return KeyExists(Utf8ToWide(key), kind);
}

bool Win32Registry::KeyExists(const std::string& parent, const std::string& child, int* kind) {
  return KeyExists(Utf8ToWide(parent), Utf8ToWide(child), kind);
}

bool Win32Registry::GetString(const std::wstring& key, const std::wstring& name, std::string& text,
                              int* kind) {
  std::wstring wide;
  const bool ok = GetString(key, name, wide, kind);
  text = WideToUtf8(wide);
  return ok;
}

bool Win32Registry::SetString(const std::wstring& key, const std::wstring& name,
                              const std::string& text, int* kind) {
  return SetString(key, name, Utf8ToWide(text), kind);
}

bool Win32Registry::GetString(const std::string& key, const std::string& name, std::string& text,
                              int* kind) {
  return GetString(Utf8ToWide(key), Utf8ToWide(name), text, kind);
}

bool Win32Registry::SetString(const std::string& key, const std::string& name,
                              const std::string& text, int* kind) {
  return SetString(Utf8ToWide(key), Utf8ToWide(name), text, kind);
}

bool Win32Registry::GetString(const std::string& key, const std::string& name, std::wstring& text,
                              int* kind) {
  return GetString(Utf8ToWide(key), Utf8ToWide(name), text, kind);
}

bool Win32Registry::SetString(const std::string& key, const std::string& name,
                              const std::wstring& text, int* kind) {
  return SetString(Utf8ToWide(key), Utf8ToWide(name), text, kind);
}

bool Win32Registry::GetBinary(const std::string& key, const std::string& name, ByteList& bytes,
                              int* kind) {
  return GetBinary(Utf8ToWide(key), Utf8ToWide(name), bytes, kind);
}

bool Win32Registry::SetBinary(const std::string& key, const std::string& name,
                              const ByteList& bytes, int* kind) {
  return SetBinary(Utf8ToWide(key), Utf8ToWide(name), bytes, kind);
}

bool Win32Registry::GetDWORD(const std::string& key, const std::string& name, uint32_t& value,
                             int* kind) {
  return GetDWORD(Utf8ToWide(key), Utf8ToWide(name), value, kind);
}

bool Win32Registry::SetDWORD(const std::string& key, const std::string& name, uint32_t value,
                             int* kind) {
  return SetDWORD(Utf8ToWide(key), Utf8ToWide(name), value, kind);
}

bool Win32Registry::GetQWORD(const std::string& key, const std::string& name, uint64_t& value,
                             int* kind) {
  return GetQWORD(Utf8ToWide(key), Utf8ToWide(name), value, kind);
}

bool Win32Registry::SetQWORD(const std::string& key, const std::string& name, uint64_t value,
                             int* kind) {
  return SetQWORD(Utf8ToWide(key), Utf8ToWide(name), value, kind);
}

bool Win32Registry::GetMultiString(const std::string& key, const std::string& name, Utf8List& list,
                                   int* kind) {
  WideList wide;
  const bool ok = GetMultiString(Utf8ToWide(key), Utf8ToWide(name), wide, kind);
  list = WideVectorToUtf8(wide);
  return ok;
}

bool Win32Registry::SetMultiString(const std::string& key, const std::string& name,
                                   const Utf8List& list, int* kind) {
  return SetMultiString(Utf8ToWide(key), Utf8ToWide(name), Utf8VectorToWide(list), kind);
}

bool Win32Registry::DeleteValue(const std::string& key, const std::string& name, int* kind) {
  return DeleteValue(Utf8ToWide(key), Utf8ToWide(name), kind);
}

bool Win32Registry::CopyTree(const std::string& source, const std::string& target, int* kind) {
  return CopyTree(Utf8ToWide(source), Utf8ToWide(target), kind);
}

bool Win32Registry::CopyValue(const std::string& sourceKey, const std::string& sourceName,
                              const std::string& targetKey, const std::string& targetName,
                              int* kind) {
  return CopyValue(Utf8ToWide(sourceKey), Utf8ToWide(sourceName), Utf8ToWide(targetKey),
                   Utf8ToWide(targetName), kind);
}

bool Win32Registry::DeleteTree(const std::string& parent, const std::string& child, int* kind) {
  return DeleteTree(Utf8ToWide(parent), Utf8ToWide(child), kind);
}

bool Win32Registry::GetRawValue(const std::string& key, const std::string& name, ByteList& bytes,
                                uint32_t& type, int* kind) {
  return GetRawValue(Utf8ToWide(key), Utf8ToWide(name), bytes, type, kind);
}

uint32_t Win32Registry::GetValueType(const std::string& key, const std::string& name, int* kind) {
  return GetValueType(Utf8ToWide(key), Utf8ToWide(name), kind);
}
