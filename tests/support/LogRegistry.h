#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ScratchFolder.h"

// Registry values and log folders for tests that read the programs' log. The logging values
// live in HKLM, shared by every program of the Wine prefix: use these only in tests that take
// the machine lock (purgekit_test(... MACHINE ...)).

// The key of the logging values (32-bit view): with dir, the key of that directory; with dir
// and name, the key of that directory and file name.
std::wstring LoggingKey(const std::wstring& dir = L"", const std::wstring& name = L"");

// One registry value set for the length of a test; the value as it was (or its absence) is
// put back by the destructor, and keys made for it are removed again when nothing else is in
// them.
class ScopedRegValue {
 public:
  ScopedRegValue(HKEY hive, std::wstring key, std::wstring value, REGSAM view = KEY_WOW64_32KEY);
  ~ScopedRegValue();
  ScopedRegValue(const ScopedRegValue&) = delete;
  ScopedRegValue& operator=(const ScopedRegValue&) = delete;

  bool SetDword(DWORD data);
  bool SetString(const std::wstring& text, DWORD type = REG_SZ);
  // Exactly these bytes, with no terminator added.
  bool SetRaw(DWORD type, const void* data, DWORD size);
  bool Remove();

 private:
  HKEY hive_;
  std::wstring key_;
  std::wstring value_;
  REGSAM view_;
  std::wstring existingKey_;  // the longest part of key_ that existed before
  bool existed_ = false;
  DWORD type_ = REG_NONE;
  std::vector<BYTE> data_;
};

// Points the log of every program started while it lives at a scratch folder named after the
// running test: sets RootPath (HKLM, 32-bit view) and restores it afterwards.
class ScopedLogRoot {
 public:
  ScopedLogRoot();
  ~ScopedLogRoot();
  ScopedLogRoot(const ScopedLogRoot&) = delete;
  ScopedLogRoot& operator=(const ScopedLogRoot&) = delete;

  const std::wstring& Root() const { return root_.Path(); }
  // Root\Korvane\Log\dir
  std::wstring Directory(const std::wstring& dir = L"PurgeKit") const;
  // The current file (generation 0) or an older one (1, 2).
  std::wstring File(int generation = 0, const std::wstring& dir = L"PurgeKit",
                    const std::wstring& name = L"PurgeKit") const;

 private:
  ScratchFolder root_;
  ScopedRegValue rootPath_;
};
