#pragma once

#include <string>
#include <vector>

// A folder of its own below the build tree's scratch folder for one test, removed with
// everything in it when the holder ends: <scratch>\<name>-<process id>-<serial>.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::wstring& name);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::wstring& Path() const { return path_; }
  // The folder's path joined with a relative one.
  std::wstring operator/(const std::wstring& relative) const;

 private:
  std::wstring path_;
};

bool WriteBytes(const std::wstring& path, const std::string& bytes);
// The file's bytes; false when it can't be read.
bool ReadBytes(const std::wstring& path, std::string& bytes);
// Every path below the folder (files and folders, recursively), relative to it, sorted.
std::vector<std::wstring> ListTree(const std::wstring& folder);
