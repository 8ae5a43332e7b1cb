#include "SimulatedItem.h"

#include <windows.h>

#include <array>

#include "CataloguePackages.h"
#include "InstalledPackage.h"
#include "PathUtils.h"
#include "PendingOperations.h"
#include "SpecialFolders.h"
#include "StringUtils.h"
#include "TestDevices.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "TestServices.h"
#include "UniqueAny.h"

namespace {

constexpr wchar_t kPendingKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingValue[] = L"PendingFileRenameOperations";
constexpr char kFileContent[] = "simulated installation\r\n";
constexpr char kDesktopIni[] =
    "[.ShellClassInfo]\r\nIconResource=%SystemRoot%\\system32\\shell32.dll,23\r\n";

const std::wstring& Argument(const CatalogueItem& item, size_t index) {
  static const std::wstring empty;
  return index < item.arguments.size() ? item.arguments[index] : empty;
}

const CataloguePackage* FindPackage(const std::wstring& name) {
  for (const auto& package : kCataloguePackages) {
    if (name == package.name) return &package;
  }
  return nullptr;
}

REGSAM ViewOf(const CatalogueItem& item) {
  return item.kind == L"key32" ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

// The value of the option "name=value" among the item's arguments from the index on; empty
// when it is not given.
std::wstring Option(const CatalogueItem& item, size_t from, const std::wstring& name) {
  for (size_t i = from; i < item.arguments.size(); ++i) {
    const std::wstring& argument = item.arguments[i];
    if (argument.size() > name.size() && argument.compare(0, name.size(), name) == 0 &&
        argument[name.size()] == L'=') {
      return argument.substr(name.size() + 1);
    }
  }
  return {};
}

bool HasFlag(const CatalogueItem& item, size_t from, const std::wstring& flag) {
  for (size_t i = from; i < item.arguments.size(); ++i) {
    if (item.arguments[i] == flag) return true;
  }
  return false;
}

// A drive path as the file functions take it at any length (some items are longer than
// MAX_PATH).
std::wstring Long(const std::wstring& path) {
  return path.size() > 2 && path[1] == L':' ? L"\\\\?\\" + path : path;
}

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(Long(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeFolders(const std::wstring& folder) {
  if (Exists(folder)) return true;
  std::wstring parent, name;
  if (!SplitPath(folder, parent, name) || !MakeFolders(parent)) return false;
  return ::CreateDirectoryW(Long(folder).c_str(), nullptr) ||
         ::GetLastError() == ERROR_ALREADY_EXISTS;
}

bool MakeFile(const std::wstring& path, const char* content = kFileContent, DWORD attributes = 0) {
  std::wstring folder, name;
  if (!SplitPath(path, folder, name) || !MakeFolders(folder)) return false;
  ::SetFileAttributesW(Long(path).c_str(), FILE_ATTRIBUTE_NORMAL);  // made before, read-only
  return WriteFileBytes(Long(path), content) &&
         (attributes == 0 || ::SetFileAttributesW(Long(path).c_str(), attributes));
}

// A folder as Explorer leaves it once it is customized: its desktop.ini (hidden, system)
// inside, the folder itself read-only. (Wine takes a folder's read-only attribute and keeps
// none: there the folder is an ordinary one.)
bool MakeShellFolder(const std::wstring& folder) {
  return MakeFile(CombinePath(folder, L"desktop.ini"), kDesktopIni,
                  FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM) &&
         ::SetFileAttributesW(Long(folder).c_str(), FILE_ATTRIBUTE_READONLY);
}

// The folders every product shares; a file's folder that is one of them may stay.
bool IsSharedFolder(const std::wstring& folder) {
  static const std::array<const wchar_t*, 10> shared = {L"{ProgramFiles}",
                                                        L"{ProgramFiles}\\Korvane",
                                                        L"{ProgramFilesX86}",
                                                        L"{ProgramFilesX86}\\Korvane",
                                                        L"{ProgramData}",
                                                        L"{ProgramData}\\Korvane",
                                                        L"{ProgramData}\\Korvane\\Log",
                                                        L"{System32}\\drivers",
                                                        L"{LocalAppData}",
                                                        L"{LocalAppData}\\Korvane"};
  for (const wchar_t* place : shared) {
    if (::lstrcmpiW(ExpandCataloguePath(place).c_str(), folder.c_str()) == 0) return true;
  }
  return false;
}

std::wstring ServiceRecord() {
  return CombinePath(GetWindowsDirectoryPath(), L"Temp\\kv_simulated_services.txt");
}

// A service as its product's installer makes it: its own process, the given display name (the
// name when none is given), and the subkeys of its key that real installations leave.
bool InstallService(const std::wstring& name, const std::wstring& image, const std::wstring& mode,
                    const std::wstring& displayName, const std::wstring& altitude) {
  const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return false;
  if (UniqueServiceHandle(::OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS))) {
    return true;  // shared with a product installed before
  }
  std::wstring folder, file;
  if (!SplitPath(image, folder, file) || !CreateDirectoryRecursive(folder, nullptr) ||
      !::CopyFileW(TEST_SERVICE_EXE, image.c_str(), FALSE)) {
    return false;
  }
  const std::wstring command = L"\"" + image + L"\" " + mode + L" \"" + ServiceRecord() + L"\"";
  const UniqueServiceHandle service(::CreateServiceW(
      manager.get(), name.c_str(), displayName.empty() ? name.c_str() : displayName.c_str(),
      SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
      command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  if (!service || !AddServiceSubkeys(name, altitude) ||
      !::StartServiceW(service.get(), 0, nullptr)) {
    return false;
  }
  for (int i = 0; i < 100; ++i) {
    SERVICE_STATUS status{};
    if (::QueryServiceStatus(service.get(), &status) && status.dwCurrentState == SERVICE_RUNNING) {
      return true;
    }
    ::Sleep(100);
  }
  return false;
}

void RemoveService(const std::wstring& name) {
  const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  const UniqueServiceHandle service(
      ::OpenServiceW(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
  if (!service) return;
  SERVICE_STATUS status{};
  if (::ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
    for (int i = 0; i < 100 && ::QueryServiceStatus(service.get(), &status) &&
                    status.dwCurrentState != SERVICE_STOPPED;
         ++i) {
      ::Sleep(100);
    }
  }
  ::DeleteService(service.get());
}

// What a removed service may leave: the key (with the subkeys the manager did not take).
void RemoveServiceKey(const std::wstring& name) {
  if (ServiceKnown(name)) return;
  std::wstring parent, child;
  if (SplitPath(ServiceKey(name), parent, child)) TestRegistry().DeleteTree(parent, child);
}

// Removes the file whatever its attributes, then its folders as far up as they are empty and
// not shared.
void RemoveFile(const std::wstring& path) {
  std::wstring current = path, folder, name;
  ::SetFileAttributesW(Long(current).c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(Long(current).c_str());
  while (SplitPath(current, folder, name) && !IsSharedFolder(folder)) {
    ::SetFileAttributesW(Long(folder).c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!::RemoveDirectoryW(Long(folder).c_str())) break;
    current = folder;
  }
}

// Anything of the file left: the file, or its folder unless it is a shared place.
bool FileLeft(const std::wstring& path) {
  std::wstring folder, name;
  if (Exists(path)) return true;
  return SplitPath(path, folder, name) && !IsSharedFolder(folder) && Exists(folder);
}

bool FileIntact(const std::wstring& path, const char* content, DWORD attributes) {
  std::string bytes;
  const DWORD found = ::GetFileAttributesW(Long(path).c_str());
  return found != INVALID_FILE_ATTRIBUTES && (found & attributes) == attributes &&
         ReadFileBytes(Long(path), bytes) && bytes == content;
}

bool KeyIntact(const CatalogueItem& item) {
  TestRegistry registry(ViewOf(item));
  const std::wstring& key = item.arguments[0];
  for (size_t i = 1; i < item.arguments.size(); ++i) {
    const std::wstring& pair = item.arguments[i];
    const size_t equals = pair.find(L'=');
    std::wstring text;
    if (equals == std::wstring::npos || !registry.GetString(key, pair.substr(0, equals), text) ||
        text != ExpandCataloguePath(pair.substr(equals + 1))) {
      return false;
    }
  }
  return registry.KeyExists(key);
}

// Appends the pair (source, empty target) to the value: every string ends with a NUL, the
// whole with one more.
bool AddPendingDelete(const std::wstring& path) {
  TestRegistry registry;
  ByteList bytes;
  uint32_t type = REG_MULTI_SZ;
  if (registry.GetRawValue(kPendingKey, kPendingValue, bytes, type) && bytes.size() >= 2) {
    bytes.resize(bytes.size() - 2);  // the closing NUL
  } else {
    bytes.clear();
  }
  const std::wstring pair = L"\\??\\" + path + std::wstring(1, L'\0') + std::wstring(2, L'\0');
  const auto* data = reinterpret_cast<const BYTE*>(pair.data());
  bytes.insert(bytes.end(), data, data + pair.size() * sizeof(wchar_t));
  return registry.SetRaw(kPendingKey, kPendingValue, REG_MULTI_SZ, bytes.data(), bytes.size());
}

}  // namespace

std::wstring ExpandCataloguePath(const std::wstring& path) {
  struct Place {
    const wchar_t* name;
    std::wstring (*resolve)();
  };
  static const std::array<Place, 5> places = {{
      {L"{ProgramFiles}", [] { return GetSpecialFolder(FolderKind::ProgramFiles); }},
      {L"{ProgramFilesX86}", [] { return GetSpecialFolder(FolderKind::ProgramFilesX86); }},
      {L"{ProgramData}", [] { return GetSpecialFolder(FolderKind::CommonAppData); }},
      {L"{System32}", [] { return GetSystemDirectoryPath(); }},
      {L"{LocalAppData}", [] { return GetSpecialFolder(FolderKind::LocalAppData); }},
  }};
  for (const auto& place : places) {
    const std::wstring name = place.name;
    if (path.compare(0, name.size(), name) == 0) return place.resolve() + path.substr(name.size());
  }
  return path;
}

bool InstallItem(const CatalogueItem& item, const std::wstring& serviceMode) {
  const std::wstring& first = Argument(item, 0);
  if (item.kind == L"msi") {
    const CataloguePackage* package = FindPackage(first);
    if (package == nullptr) return false;
    const std::wstring msi = CombinePath(TEST_PACKAGES_DIR, first + L".msi");
    return RunMsiexec(L"/i \"" + msi + L"\" /qn") == ERROR_SUCCESS &&
           IsProductRegistered(package->productCode);
  }
  if (item.kind == L"file" || item.kind == L"held") {
    return MakeFile(ExpandCataloguePath(first), kFileContent,
                    HasFlag(item, 1, L"readonly") ? FILE_ATTRIBUTE_READONLY : 0);
  }
  if (item.kind == L"shellfolder") return MakeShellFolder(ExpandCataloguePath(first));
  if (item.kind == L"key64" || item.kind == L"key32") {
    TestRegistry registry(ViewOf(item));
    if (!registry.CreateKey(first)) return false;
    for (size_t i = 1; i < item.arguments.size(); ++i) {
      const std::wstring& pair = item.arguments[i];
      const size_t equals = pair.find(L'=');
      if (equals == std::wstring::npos) return false;
      if (!registry.SetString(first, pair.substr(0, equals),
                              ExpandCataloguePath(pair.substr(equals + 1)))) {
        return false;
      }
    }
    return true;
  }
  if (item.kind == L"counter64") {
    TestRegistry registry(KEY_WOW64_64KEY);
    uint32_t count = 0;
    registry.GetDWORD(first, Argument(item, 1), count);
    return registry.CreateKey(first) && registry.SetDWORD(first, Argument(item, 1), count + 1);
  }
  if (item.kind == L"service") {
    return InstallService(first, ExpandCataloguePath(Argument(item, 1)), serviceMode,
                          Option(item, 2, L"DisplayName"), Option(item, 2, L"Altitude"));
  }
  if (item.kind == L"pending") return AddPendingDelete(ExpandCataloguePath(first));
  if (item.kind == L"atom") return ::GlobalAddAtomW(first.c_str()) != 0;
  if (item.kind == L"device") {
    if (CountPresentDevices(first, Argument(item, 1)) > 0) return true;
    TestDevice device(first, {Argument(item, 1)});
    const bool registered = device.Registered();
    device.Release();
    return registered;
  }
  return false;
}

bool ItemPresent(const CatalogueItem& item) {
  const std::wstring& first = Argument(item, 0);
  if (item.kind == L"msi") {
    const CataloguePackage* package = FindPackage(first);
    return package != nullptr && IsProductRegistered(package->productCode);
  }
  if (item.kind == L"file" || item.kind == L"held") return FileLeft(ExpandCataloguePath(first));
  if (item.kind == L"shellfolder") {
    return FileLeft(CombinePath(ExpandCataloguePath(first), L"desktop.ini"));
  }
  if (item.kind == L"key64" || item.kind == L"key32") {
    return TestRegistry(ViewOf(item)).KeyExists(first);
  }
  if (item.kind == L"counter64") {
    uint32_t count = 0;
    return TestRegistry(KEY_WOW64_64KEY).GetDWORD(first, Argument(item, 1), count) && count > 0;
  }
  if (item.kind == L"service") {
    return ServiceKnown(first) || TestRegistry().KeyExists(ServiceKey(first));
  }
  if (item.kind == L"pending") {
    return HasEntry(PendingOperationsGuard::Entries(), ExpandCataloguePath(first));
  }
  if (item.kind == L"atom") return ::GlobalFindAtomW(first.c_str()) != 0;
  if (item.kind == L"device") return CountPresentDevices(first, Argument(item, 1)) > 0;
  return false;
}

void RemoveItem(const CatalogueItem& item) {
  const std::wstring& first = Argument(item, 0);
  if (item.kind == L"msi") {
    if (const CataloguePackage* package = FindPackage(first)) RemovePackage(package->productCode);
  } else if (item.kind == L"file" || item.kind == L"held") {
    RemoveFile(ExpandCataloguePath(first));
  } else if (item.kind == L"shellfolder") {
    RemoveFile(CombinePath(ExpandCataloguePath(first), L"desktop.ini"));
  } else if (item.kind == L"key64" || item.kind == L"key32") {
    std::wstring parent, child;
    if (SplitPath(first, parent, child)) TestRegistry(ViewOf(item)).DeleteTree(parent, child);
  } else if (item.kind == L"service") {
    RemoveService(first);
    RemoveServiceKey(first);
    RemoveItem({L"file", {Argument(item, 1)}});
  } else if (item.kind == L"atom") {
    while (const ATOM atom = ::GlobalFindAtomW(first.c_str())) {
      if (::GlobalDeleteAtom(atom) != 0) break;
    }
  } else if (item.kind == L"device") {
    RemovePresentDevices(first, Argument(item, 1));
  }
}

bool ItemIntact(const CatalogueItem& item) {
  const std::wstring& first = Argument(item, 0);
  if (item.kind == L"file" || item.kind == L"held") {
    return FileIntact(ExpandCataloguePath(first), kFileContent,
                      HasFlag(item, 1, L"readonly") ? FILE_ATTRIBUTE_READONLY : 0);
  }
  if (item.kind == L"shellfolder") {
    // Wine keeps no read-only attribute on folders (it takes it and reports none), and the
    // hidden and system attributes only where the file system stores extended attributes.
    return FileIntact(CombinePath(ExpandCataloguePath(first), L"desktop.ini"), kDesktopIni, 0);
  }
  if (item.kind == L"key64" || item.kind == L"key32") return KeyIntact(item);
  if (item.kind == L"service") {
    return ServiceKnown(first) && HasServiceSubkeys(first, Option(item, 2, L"Altitude"));
  }
  return ItemPresent(item);
}

std::wstring DescribeItem(const CatalogueItem& item) {
  std::wstring text = item.kind + L" " + Argument(item, 0);
  if (item.kind == L"counter64") text += L":" + Argument(item, 1);
  if (item.kind == L"device") text += L":" + Argument(item, 1);
  return text;
}
