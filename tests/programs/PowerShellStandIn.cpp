// Stands in for powershell.exe of the Wine prefix in the product tests, which put it where
// the product scripts look for PowerShell.
//
// Without PURGEKIT_TEST_POWERSHELL_RECORD in its environment it does what Wine's own
// powershell.exe does: nothing, exit code 0. With it, it appends one record to the file that
// variable names (UTF-8, each line ending in a line feed, an empty line after the record):
//   command <its command line, exactly as it was given>
//   directory <its current directory>
//   script present | missing | none  (the file given after -File)
// and exits with PURGEKIT_TEST_POWERSHELL_EXIT (0 when unset), or with 1 when the script is
// missing.
#include <windows.h>

#include <shellapi.h>

#include <cstdlib>
#include <string>

#include "StringUtils.h"

namespace {

std::wstring Variable(const wchar_t* name) {
  std::wstring value(32768, L'\0');
  const DWORD length =
      ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
  value.resize(length < value.size() ? length : 0);
  return value;
}

// The argument after -File (in any letter case); empty without one.
std::wstring ScriptArgument() {
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (arguments == nullptr) return {};
  std::wstring script;
  for (int i = 1; i + 1 < count; ++i) {
    if (::lstrcmpiW(arguments[i], L"-File") == 0) {
      script = arguments[i + 1];
      break;
    }
  }
  ::LocalFree(arguments);
  return script;
}

bool Append(const std::wstring& path, const std::string& bytes) {
  const HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                    OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok =
      ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
  return ok && written == bytes.size();
}

}  // namespace

int wmain() {
  const std::wstring record = Variable(L"PURGEKIT_TEST_POWERSHELL_RECORD");
  if (record.empty()) return 0;

  wchar_t directory[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, directory);
  const std::wstring script = ScriptArgument();
  const DWORD attributes =
      script.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(script.c_str());
  const bool present =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  const wchar_t* state = script.empty() ? L"none" : present ? L"present" : L"missing";
  const std::wstring text = std::wstring(L"command ") + ::GetCommandLineW() + L"\ndirectory " +
                            directory + L"\nscript " + state + L"\n\n";
  if (!Append(record, WideToUtf8(text))) return 3;
  if (!script.empty() && !present) return 1;
  return std::atoi(WideToUtf8(Variable(L"PURGEKIT_TEST_POWERSHELL_EXIT")).c_str());
}
