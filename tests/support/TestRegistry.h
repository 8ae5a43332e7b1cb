#pragma once

#include <windows.h>

#include <string>

#include "Win32Registry.h"

// Registry fixtures for the tests. Keys live below HKLM\SOFTWARE\PurgeKitTests.

// A key of the test's own, HKLM\SOFTWARE\PurgeKitTests\<name>-<process id>, in both views.
// The holder removes it with everything below it in both views, opening the DACL of every
// key it may change on the way. A volatile key (children must then be volatile too, see
// CreateVolatileKey) is gone at the latest when the Wine server ends: the place for keys
// that nobody can remove once made.
class TestKey {
 public:
  explicit TestKey(const std::wstring& name, bool isVolatile = false);
  ~TestKey();
  TestKey(const TestKey&) = delete;
  TestKey& operator=(const TestKey&) = delete;

  const std::wstring& Path() const { return path_; }
  // The key's path joined with a relative one.
  std::wstring operator/(const std::wstring& relative) const;

 private:
  std::wstring path_;
};

// A registry object on HKLM in one view, that also writes exact bytes of any type.
class TestRegistry : public Win32Registry {
 public:
  explicit TestRegistry(REGSAM view = 0) { SetAccess(view); }
  // Exactly these bytes under this type (the key must exist).
  bool SetRaw(const std::wstring& key, const std::wstring& name, DWORD type, const void* data,
              size_t size) {
    return SetValue(key, name, type, data, size, nullptr);
  }
};

// Creates the key and the missing keys above it as volatile keys.
bool CreateVolatileKey(const std::wstring& key, REGSAM view = 0);

// A registry link at the HKLM key (a volatile one, as a link key must be removed as the link:
// the Wine server's end takes it along at the latest) that points at the HKLM key `target`.
bool CreateLinkKey(const std::wstring& key, const std::wstring& target, REGSAM view = 0);
// Whether the HKLM key is a registry link.
bool IsLinkKey(const std::wstring& key, REGSAM view = 0);
// Deletes the HKLM key itself, a link as the link: the Windows error.
LONG DeleteKeyItself(const std::wstring& key, REGSAM view = 0);

// The owner and DACL functions below open the key itself, a link as the link.
// Sets the owner and/or the DACL of an HKLM key from SDDL ("O:SY", "D:P", ...); true when
// Windows took them.
bool SetKeySddl(const std::wstring& key, REGSAM view, const wchar_t* sddl,
                SECURITY_INFORMATION parts);
// The owner and DACL of an HKLM key as SDDL; empty when they can't be read.
std::wstring KeySddl(const std::wstring& key, REGSAM view);
// The entries of an HKLM key's DACL as SDDL, without its flags (Wine does not keep the
// protection flag of every descriptor it is given); empty when they can't be read.
std::wstring KeyDaclEntries(const std::wstring& key, REGSAM view);
// Whether an HKLM key opens with these rights: the Windows error of the open.
LONG OpenKeyError(const std::wstring& key, REGSAM view, REGSAM rights);
