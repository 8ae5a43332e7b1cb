// The FileSystem table: well-known folders, existence tests, forced removal of files and trees
// (FileOps), copying, directories, paths and listings for scripts. The module logs the
// arguments it refuses and the single-object removals it leaves undone because the path names
// the wrong kind of object; the removals log inside FileOps. Whatever creates, copies onto or
// removes takes only a fully qualified path below a root (LuaCallContext::NextPath), and a
// path given for a file, read or changed, never ends in a backslash.
#include "FileOps.h"
#include "Log.h"
#include "LuaCallContext.h"
#include "LuaModules.h"
#include "PathUtils.h"
#include "SpecialFolders.h"
#ifndef _WIN64
#include "Sysnative.h"
#endif

namespace {

enum SpecialPathId : lua_Integer {
  kWindows = 7,
  kSystem32 = 8,
  kSysnative = 9,
  kUserProfiles = 10,
  kUserAppDataLocal = 11,
};

enum ListMode : lua_Integer { kListAll = 0, kListFiles = 1, kListDirectories = 2 };

const char* const kSpecialPathNames[] = {
    "SpecialPath_CommonAppData",
    "SpecialPath_CommonDesktop",
    "SpecialPath_CommonStartMenu",
    "SpecialPath_CommonStartMenuPrograms",
    "SpecialPath_CommonStartMenuStartup",
    "SpecialPath_CommonProgramFiles",
    "SpecialPath_CommonProgramFilesX86",
    "SpecialPath_Windows",
    "SpecialPath_System32",
    "SpecialPath_Sysnative",
    "SpecialPath_UserProfiles",
    "SpecialPath_UserAppDataLocal",
};

FolderKind SpecialPathToFolderKind(lua_Integer id) {
  if (id >= 0 && id <= static_cast<lua_Integer>(FolderKind::ProgramFilesX86)) {
    return static_cast<FolderKind>(id);
  }
  if (id == kUserAppDataLocal) return FolderKind::LocalAppData;
  return FolderKind::None;
}

// The native system directory as this program reaches it.
std::wstring SysnativePath() {
#ifdef _WIN64
  return GetSystemDirectoryPath();
#else
  return GetSysnativePath();
#endif
}

std::wstring SpecialPath(lua_Integer id, const std::wstring& sid) {
  switch (id) {
    case kWindows: return GetWindowsDirectoryPath();
    case kSystem32: return GetSystemDirectoryPath();
    case kSysnative: return SysnativePath();
    case kUserProfiles: return GetProfilesDirectoryPath();
    default: break;
  }
  const FolderKind kind = SpecialPathToFolderKind(id);
  return sid.empty() ? GetSpecialFolder(kind) : GetUserSpecialFolder(kind, sid);
}

using Access = LuaCallContext::Access;

// One path in, one boolean out; a refused path gives false and touches nothing.
int PathCall(lua_State* state, const char* function, Access access,
             bool (*operation)(const std::wstring&), PathKind kind = PathKind::Any) {
  LuaCallContext context(state, function);
  const std::wstring path = context.NextPath(access, kind);
  context.PushBoolean(!context.Refused() && operation(path));
  return context.ResultCount();
}

bool HasPendingOperation(const std::wstring& path) { return HasPendingFileOperation(path, {}); }

// A missing path reads as INVALID_FILE_ATTRIBUTES, whose directory bit is set.
bool IsDirectoryWord(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// The attributes of a path that a removal was given, read as the removal reaches it (in its
// \\?\ form, so that a long path reads as what it is).
DWORD AttributesOf(const std::wstring& path) {
  return ::GetFileAttributesW(ExtendedPath(path).c_str());
}

constexpr char kDeleteFile[] = "Lua::FileSystem::DeleteFile";
constexpr char kDeleteFileAndParent[] = "Lua::FileSystem::DeleteFileAndParent";
constexpr char kRemoveDirectory[] = "Lua::FileSystem::RemoveDirectory";

// The file; a directory, or a path whose attributes can't be read, is left alone with a line
// that says so. A missing file is no file: false, and nothing stayed to report.
bool WipeFile(const std::wstring& path, const char* function) {
  const DWORD attributes = AttributesOf(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      KvTzkLogging::LogFuncW(KvTzkLogging::LogError, function,
                             L"Cannot read the attributes of '%s': %lu; left alone", path.c_str(),
                             error);
    }
    return false;
  }
  if (IsDirectoryWord(attributes)) {
    KvTzkLogging::LogFuncW(KvTzkLogging::LogError, function, L"Not a file, left alone: '%s'",
                           path.c_str());
    return false;
  }
  return FileOps::WipeFileInternal(path, attributes);
}

bool WipeFileOnly(const std::wstring& path) { return WipeFile(path, kDeleteFile); }

// The folder that a removal may take along with the path: none when the path lies right
// below a drive or share root, which always stays.
bool RemovableParent(const std::wstring& path, std::wstring& parent) {
  std::wstring name;
  return SplitPath(path, parent, name) && CheckChangeablePath(parent) == PathFault::None;
}

bool WipeFileAndParent(const std::wstring& path) {
  if (!WipeFile(path, kDeleteFileAndParent)) return false;
  std::wstring directory;
  if (RemovableParent(path, directory)) FileOps::DoRemoveDirectory(directory);
  return true;
}

// The directory; a file is left alone with a line that says so. A path whose attributes can't
// be read is handed on like a directory: the removal takes it for a link.
bool WipeDirectory(const std::wstring& path) {
  if (!IsDirectoryWord(AttributesOf(path))) {
    KvTzkLogging::LogFuncW(KvTzkLogging::LogError, kRemoveDirectory,
                           L"Not a directory, left alone: '%s'", path.c_str());
    return false;
  }
  return FileOps::WipeDirectoryInternal(path);
}

bool WipeTreeAndParent(const std::wstring& path) {
  std::wstring parent;
  if (!RemovableParent(path, parent)) return FileOps::WipeRecursive(path);
  return FileOps::WipeRecursiveAndParentIfEmpty(path);
}

bool MkDir(const std::wstring& path) { return CreateDirectoryRecursive(path, nullptr); }

int Exists(lua_State* state) {
  return PathCall(state, "Lua::FileSystem::Exists", Access::Read, PathExists);
}

int IsFileFunction(lua_State* state) {
  return PathCall(state, "Lua::FileSystem::IsFile", Access::Read, IsFile);
}

int IsDirectoryFunction(lua_State* state) {
  return PathCall(state, "Lua::FileSystem::IsDirectory", Access::Read, IsDirectory);
}

int MkDirFunction(lua_State* state) {
  return PathCall(state, "Lua::FileSystem::MkDir", Access::Change, MkDir);
}

int RemoveRecursive(lua_State* state) {
  return PathCall(state, "Lua::FileSystem::RemoveRecursive", Access::Change,
                  FileOps::WipeRecursive);
}

int HasPendingFileOperationFunction(lua_State* state) {
  return PathCall(state, "Lua::FileSystem::HasPendingFileOperation", Access::Read,
                  HasPendingOperation);
}

int DeleteFileFunction(lua_State* state) {
  return PathCall(state, kDeleteFile, Access::Change, WipeFileOnly, PathKind::File);
}

int DeleteFileAndParent(lua_State* state) {
  return PathCall(state, kDeleteFileAndParent, Access::Change, WipeFileAndParent, PathKind::File);
}

int RemoveDirectoryFunction(lua_State* state) {
  return PathCall(state, kRemoveDirectory, Access::Change, WipeDirectory);
}

int RemoveDirectoryIfEmpty(lua_State* state) {
  return PathCall(state, "Lua::FileSystem::RemoveDirectoryIfEmpty", Access::Change,
                  FileOps::DoRemoveDirectory);
}

int RemoveDirectoryRecursiveAndParentIfEmpty(lua_State* state) {
  return PathCall(state, "Lua::FileSystem::RemoveDirectoryRecursiveAndParentIfEmpty",
                  Access::Change, WipeTreeAndParent);
}

int CopyFileFunction(lua_State* state) {
  LuaCallContext context(state, "Lua::FileSystem::CopyFile");
  const std::wstring source = context.NextPath(Access::Read, PathKind::File);
  const std::wstring target = context.NextPath(Access::Change, PathKind::File);
  context.PushBoolean(!context.Refused() &&
                      ::CopyFileW(source.c_str(), target.c_str(), FALSE) != FALSE);
  return context.ResultCount();
}

int GetSpecialPath(lua_State* state) {
  LuaCallContext context(state, "Lua::FileSystem::GetSpecialPath");
  const lua_Integer id = context.NextInteger();
  const std::wstring sid = context.NextOptionalString();
  context.PushString(context.Refused() ? std::wstring() : SpecialPath(id, sid));
  return context.ResultCount();
}

int RemoveRecursiveByMask(lua_State* state) {
  LuaCallContext context(state, "Lua::FileSystem::RemoveRecursiveByMask");
  const std::wstring directory = context.NextPath(Access::Change);
  const std::wstring mask = context.NextMask();
  context.PushBoolean(!context.Refused() && FileOps::WipeEntriesByMask(directory, mask));
  return context.ResultCount();
}

int MakePath(lua_State* state) {
  LuaCallContext context(state, "Lua::FileSystem::MakePath");
  const std::wstring first = context.NextPath(Access::Read);
  const std::wstring second = context.NextPath(Access::Read);
  context.PushString(context.Refused() ? std::wstring() : CombinePath(first, second));
  return context.ResultCount();
}

int SplitPathFunction(lua_State* state) {
  LuaCallContext context(state, "Lua::FileSystem::SplitPath");
  std::wstring directory;
  std::wstring name;
  const std::wstring path = context.NextPath(Access::Read);
  if (!context.Refused()) SplitPath(path, directory, name);
  context.PushStringArray({directory, name});
  return context.ResultCount();
}

int ContainsFiles(lua_State* state) {
  LuaCallContext context(state, "Lua::FileSystem::ContainsFiles");
  const std::wstring path = context.NextPath(Access::Read);
  const bool recursive = context.NextOptionalInteger(1) != 0;
  context.PushBoolean(!context.Refused() && FileOps::ContainsFiles(path, recursive));
  return context.ResultCount();
}

int ListDirectory(lua_State* state) {
  LuaCallContext context(state, "Lua::FileSystem::ListDirectory");
  const std::wstring path = context.NextPath(Access::Read);
  const lua_Integer mode = context.NextOptionalInteger(kListAll);
  const bool files = mode == kListAll || mode == kListFiles;
  const bool directories = mode == kListAll || mode == kListDirectories;
  context.PushStringArray((files || directories) && !context.Refused()
                              ? FileOps::ListDirectory(path, files, directories)
                              : StringList{});
  return context.ResultCount();
}

const luaL_Reg kFunctions[] = {
    {"Exists", Exists},
    {"IsFile", IsFileFunction},
    {"IsDirectory", IsDirectoryFunction},
    {"CopyFile", CopyFileFunction},
    {"MkDir", MkDirFunction},
    {"GetSpecialPath", GetSpecialPath},
    {"RemoveRecursive", RemoveRecursive},
    {"RemoveRecursiveByMask", RemoveRecursiveByMask},
    {"HasPendingFileOperation", HasPendingFileOperationFunction},
    {"DeleteFile", DeleteFileFunction},
    {"DeleteFileAndParent", DeleteFileAndParent},
    {"RemoveDirectory", RemoveDirectoryFunction},
    {"RemoveDirectoryIfEmpty", RemoveDirectoryIfEmpty},
    {"RemoveDirectoryRecursiveAndParentIfEmpty", RemoveDirectoryRecursiveAndParentIfEmpty},
    {"MakePath", MakePath},
    {"SplitPath", SplitPathFunction},
    {"ContainsFiles", ContainsFiles},
    {"ListDirectory", ListDirectory},
    {nullptr, nullptr},
};

}  // namespace

void RegisterFileSystemModule(lua_State* state) {
  lua_Integer id = 0;
  for (const char* name : kSpecialPathNames) RegisterIntegerConstant(state, name, id++);
  RegisterIntegerConstant(state, "ListDir_All", kListAll);
  RegisterIntegerConstant(state, "ListDir_Files", kListFiles);
  RegisterIntegerConstant(state, "ListDir_Directories", kListDirectories);
  RegisterModuleTable(state, "FileSystem", kFunctions);
}
