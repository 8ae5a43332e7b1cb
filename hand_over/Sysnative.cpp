#include "Sysnative.h"

#include "PathUtils.h"
#include "SpecialFolders.h"

std::wstring GetSysnativePath() { return CombinePath(GetWindowsDirectoryPath(), L"Sysnative"); }
