#pragma once

#include <string>

#include "LogCapture.h"

// Shared by the script-host and product tests: the process's log, the fixture folders and
// folders of generated scripts.

// The log of this test process, started on first use.
LogCapture& TestLog();

// A folder below tests/fixtures/scripts.
std::wstring ScriptFixture(const std::wstring& name);

// The entry of a Lua stack dump as the log shows it.
std::string StackEntry(const std::string& slots);

// A new folder of its own below the temporary folder, removed with everything in it at the
// end. `name` becomes part of its path (blanks and other characters included).
class ScriptFolder {
 public:
  explicit ScriptFolder(const std::wstring& name = L"scripts");
  ~ScriptFolder();
  ScriptFolder(const ScriptFolder&) = delete;
  ScriptFolder& operator=(const ScriptFolder&) = delete;

  // Writes `text` (bytes as given) into the file `name` and returns its full path.
  std::wstring Write(const std::wstring& name, const std::string& text);
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring path_;
};
