// The FileSystem table: well-known folders, existence tests, forced removal of files and trees
// (FileOps), copying, directories, paths and listings for scripts. The module logs nothing of
// its own; the removals log inside FileOps.
#include "FileOps.h"
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

// One path in, one boolean out.
template <bool (*Operation)(const std::wstring&)>
int PathTest(lua_State* state) {
  LuaCallContext context(state);
  context.PushBoolean(Operation(context.NextString()));
  return context.ResultCount();
}

bool HasPendingOperation(const std::wstring& path) { return HasPendingFileOperation(path, {}); }

// A missing path reads as INVALID_FILE_ATTRIBUTES, whose directory bit is set.
bool IsDirectoryWord(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

bool WipeFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return !IsDirectoryWord(attributes) && FileOps::WipeFileInternal(path, attributes);
}

bool WipeFileAndParent(const std::wstring& path) {
  if (!WipeFile(path)) return false;
  std::wstring directory;
  std::wstring name;
  if (SplitPath(path, directory, name)) FileOps::DoRemoveDirectory(directory);
  return true;
}

bool WipeDirectory(const std::wstring& path) {
  return IsDirectoryWord(::GetFileAttributesW(path.c_str())) &&
         FileOps::WipeDirectoryInternal(path);
}

bool MkDir(const std::wstring& path) { return CreateDirectoryRecursive(path, nullptr); }

int CopyFileFunction(lua_State* state) {
  LuaCallContext context(state);
  const std::wstring source = context.NextString();
  const std::wstring target = context.NextString();
  context.PushBoolean(::CopyFileW(source.c_str(), target.c_str(), FALSE) != FALSE);
  return context.ResultCount();
}

int GetSpecialPath(lua_State* state) {
  LuaCallContext context(state);
  const lua_Integer id = context.NextInteger();
  const std::wstring sid = context.NextOptionalString();
  context.PushString(SpecialPath(id, sid));
  return context.ResultCount();
}

int RemoveRecursiveByMask(lua_State* state) {
  LuaCallContext context(state);
  const std::wstring directory = context.NextString();
  const std::wstring mask = context.NextString();
  context.PushBoolean(FileOps::WipeEntriesByMask(directory, mask));
  return context.ResultCount();
}

int MakePath(lua_State* state) {
  LuaCallContext context(state);
  const std::wstring first = context.NextString();
  const std::wstring second = context.NextString();
  context.PushString(CombinePath(first, second));
  return context.ResultCount();
}

int SplitPathFunction(lua_State* state) {
  LuaCallContext context(state);
  std::wstring directory;
  std::wstring name;
  SplitPath(context.NextString(), directory, name);
  context.PushStringArray({directory, name});
  return context.ResultCount();
}

int ContainsFiles(lua_State* state) {
  LuaCallContext context(state);
  const std::wstring path = context.NextString();
  const bool recursive = context.NextOptionalInteger(1) != 0;
  context.PushBoolean(FileOps::ContainsFiles(path, recursive));
  return context.ResultCount();
}

int ListDirectory(lua_State* state) {
  LuaCallContext context(state);
  const std::wstring path = context.NextString();
  const lua_Integer mode = context.NextOptionalInteger(kListAll);
  const bool files = mode == kListAll || mode == kListFiles;
  const bool directories = mode == kListAll || mode == kListDirectories;
  context.PushStringArray(files || directories ? FileOps::ListDirectory(path, files, directories)
                                               : StringList{});
  return context.ResultCount();
}

const luaL_Reg kFunctions[] = {
    {"Exists", PathTest<PathExists>},
    {"IsFile", PathTest<IsFile>},
    {"IsDirectory", PathTest<IsDirectory>},
    {"CopyFile", CopyFileFunction},
    {"MkDir", PathTest<MkDir>},
    {"GetSpecialPath", GetSpecialPath},
    {"RemoveRecursive", PathTest<FileOps::WipeRecursive>},
    {"RemoveRecursiveByMask", RemoveRecursiveByMask},
    {"HasPendingFileOperation", PathTest<HasPendingOperation>},
    {"DeleteFile", PathTest<WipeFile>},
    {"DeleteFileAndParent", PathTest<WipeFileAndParent>},
    {"RemoveDirectory", PathTest<WipeDirectory>},
    {"RemoveDirectoryIfEmpty", PathTest<FileOps::DoRemoveDirectory>},
    {"RemoveDirectoryRecursiveAndParentIfEmpty", PathTest<FileOps::WipeRecursiveAndParentIfEmpty>},
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
