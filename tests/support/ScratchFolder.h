#pragma once

#include <string>

// A fresh, empty folder of a test's own below the build tree's scratch folder:
// <scratch>\<name>-<process id>-<serial>, where a folder without a name is named after the
// running test. The holder removes it with everything in it, unless the running test has
// failed, so that a failure can be looked at.
class ScratchFolder {
 public:
  // `name` is taken as it is (blanks and other characters included).
  explicit ScratchFolder(const std::wstring& name = L"");
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::wstring& Path() const { return path_; }
  // The folder's path joined with a relative one.
  std::wstring operator/(const std::wstring& relative) const;
  // Writes the bytes, as given, into the file at the relative path (making the folders on
  // the way) and returns its full path; a file that can't be written fails the running test.
  std::wstring Write(const std::wstring& relative, const std::string& bytes) const;

 private:
  std::wstring path_;
};
