#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "UniqueAny.h"

// Error kinds of the registry operations: kept in the object after every operation and
// handed to the caller's integer when one is given.
namespace RegistryError {
enum Kind : int {
  Ok = 0,
  NotFound = 1,
  WrongType = 2,
  Failed = 3,
  AccessDenied = 5,
  InvalidParameter = 6,
};
}  // namespace RegistryError

using ByteList = std::vector<uint8_t>;
using Utf8List = std::vector<std::string>;
using WideList = std::vector<std::wstring>;

// The registry operations on UTF-8 key paths, names and texts, and the choice of the root
// key. Every operation takes, last, an optional pointer to an int that receives the error
// kind.
class Registry {
 public:
  virtual ~Registry() = default;

  virtual uint32_t GetSubkeyCount(const std::string& key, int* kind = nullptr) = 0;
  // The key, a backslash and the name of the index-th subkey; empty on failure.
  virtual std::string GetSubkeyPath(const std::string& key, uint32_t index,
                                    int* kind = nullptr) = 0;
  virtual uint32_t GetSubkeys(const std::string& key, Utf8List& names, int* kind = nullptr) = 0;
  virtual uint32_t GetValueCount(const std::string& key, int* kind = nullptr) = 0;
  virtual uint32_t GetValueNames(const std::string& key, Utf8List& names, int* kind = nullptr) = 0;
  virtual bool CreateKey(const std::string& parent, const std::string& child,
                         int* kind = nullptr) = 0;
  virtual bool DeleteKey(const std::string& parent, const std::string& child,
                         int* kind = nullptr) = 0;
  virtual bool GetString(const std::string& key, const std::string& name, std::string& text,
                         int* kind = nullptr) = 0;
  virtual bool SetString(const std::string& key, const std::string& name, const std::string& text,
                         int* kind = nullptr) = 0;
  virtual bool GetString(const std::string& key, const std::string& name, std::wstring& text,
                         int* kind = nullptr) = 0;
  virtual bool SetString(const std::string& key, const std::string& name, const std::wstring& text,
                         int* kind = nullptr) = 0;
  virtual bool GetBinary(const std::string& key, const std::string& name, ByteList& bytes,
                         int* kind = nullptr) = 0;
  virtual bool SetBinary(const std::string& key, const std::string& name, const ByteList& bytes,
                         int* kind = nullptr) = 0;
  virtual bool GetDWORD(const std::string& key, const std::string& name, uint32_t& value,
                        int* kind = nullptr) = 0;
  virtual bool SetDWORD(const std::string& key, const std::string& name, uint32_t value,
                        int* kind = nullptr) = 0;
  virtual bool GetMultiString(const std::string& key, const std::string& name, Utf8List& list,
                              int* kind = nullptr) = 0;
  virtual bool SetMultiString(const std::string& key, const std::string& name, const Utf8List& list,
                              int* kind = nullptr) = 0;
  virtual bool DeleteValue(const std::string& key, const std::string& name,
                           int* kind = nullptr) = 0;
  virtual bool CopyTree(const std::string& source, const std::string& target,
                        int* kind = nullptr) = 0;
  virtual bool CopyValue(const std::string& sourceKey, const std::string& sourceName,
                         const std::string& targetKey, const std::string& targetName,
                         int* kind = nullptr) = 0;
  virtual bool DeleteTree(const std::string& parent, const std::string& child,
                          int* kind = nullptr) = 0;
  virtual void SetRoot(HKEY root) = 0;
};

// Registry access on the Windows registry functions. A short-lived local object: set the
// root key and the extra access bits (the registry view) right after construction, call
// operations, let it go. The object holds no key handle between calls; every operation opens
// the key it needs (below the root, or below a key the caller holds open), closes it on every
// path and records an error kind, which boolean results mirror (true exactly for Ok). Value
// reads open their key with KEY_QUERY_VALUE alone (and the access bits), so a key whose DACL
// grants only that still answers them. Setters open their key and never create it. Composite
// operations (trees, paths) call the others through this interface.
class Win32Registry : public Registry {
 public:
  Win32Registry() = default;
  ~Win32Registry() override = default;

  // UTF-8 forms: converted, forwarded to the UTF-16 forms, converted back.
  uint32_t GetSubkeyCount(const std::string& key, int* kind = nullptr) override;
  std::string GetSubkeyPath(const std::string& key, uint32_t index, int* kind = nullptr) override;
  uint32_t GetSubkeys(const std::string& key, Utf8List& names, int* kind = nullptr) override;
  uint32_t GetValueCount(const std::string& key, int* kind = nullptr) override;
  uint32_t GetValueNames(const std::string& key, Utf8List& names, int* kind = nullptr) override;
  bool CreateKey(const std::string& parent, const std::string& child, int* kind = nullptr) override;
  bool DeleteKey(const std::string& parent, const std::string& child, int* kind = nullptr) override;
  bool GetString(const std::string& key, const std::string& name, std::string& text,
                 int* kind = nullptr) override;
  bool SetString(const std::string& key, const std::string& name, const std::string& text,
                 int* kind = nullptr) override;
  bool GetString(const std::string& key, const std::string& name, std::wstring& text,
                 int* kind = nullptr) override;
  bool SetString(const std::string& key, const std::string& name, const std::wstring& text,
                 int* kind = nullptr) override;
  bool GetBinary(const std::string& key, const std::string& name, ByteList& bytes,
                 int* kind = nullptr) override;
  bool SetBinary(const std::string& key, const std::string& name, const ByteList& bytes,
                 int* kind = nullptr) override;
  bool GetDWORD(const std::string& key, const std::string& name, uint32_t& value,
                int* kind = nullptr) override;
  bool SetDWORD(const std::string& key, const std::string& name, uint32_t value,
                int* kind = nullptr) override;
  bool GetMultiString(const std::string& key, const std::string& name, Utf8List& list,
                      int* kind = nullptr) override;
  bool SetMultiString(const std::string& key, const std::string& name, const Utf8List& list,
                      int* kind = nullptr) override;
  bool DeleteValue(const std::string& key, const std::string& name, int* kind = nullptr) override;
  bool CopyTree(const std::string& source, const std::string& target, int* kind = nullptr) override;
  bool CopyValue(const std::string& sourceKey, const std::string& sourceName,
                 const std::string& targetKey, const std::string& targetName,
                 int* kind = nullptr) override;
  bool DeleteTree(const std::string& parent, const std::string& child,
                  int* kind = nullptr) override;
  void SetRoot(HKEY root) override;

  virtual uint32_t GetValueType(const std::string& key, const std::string& name,
                                int* kind = nullptr);
  // The type of the value; 0 on failure (and for REG_NONE values, with kind Ok).
  virtual uint32_t GetValueType(const std::wstring& key, const std::wstring& name,
                                int* kind = nullptr);
  // The UTF-8 text always replaces the caller's, also with the empty text of a failure.
  virtual bool GetString(const std::wstring& key, const std::wstring& name, std::string& text,
                         int* kind = nullptr);
  // REG_SZ or REG_EXPAND_SZ, not expanded. A terminator stored with the text is dropped
  // (one only); a text stored without one keeps all its characters.
  virtual bool GetString(const std::wstring& key, const std::wstring& name, std::wstring& text,
                         int* kind = nullptr);
  virtual bool SetString(const std::wstring& key, const std::wstring& name, const std::string& text,
                         int* kind = nullptr);
  // Writes REG_SZ with its terminator.
  virtual bool SetString(const std::wstring& key, const std::wstring& name,
                         const std::wstring& text, int* kind = nullptr);
  // REG_DWORD, or a REG_NONE value of at most four bytes copied as stored.
  virtual bool GetDWORD(const std::wstring& key, const std::wstring& name, uint32_t& value,
                        int* kind = nullptr);
  virtual bool SetDWORD(const std::wstring& key, const std::wstring& name, uint32_t value,
                        int* kind = nullptr);
  virtual bool GetQWORD(const std::string& key, const std::string& name, uint64_t& value,
                        int* kind = nullptr);
  // REG_QWORD, or a REG_NONE value of at most eight bytes copied as stored.
  virtual bool GetQWORD(const std::wstring& key, const std::wstring& name, uint64_t& value,
                        int* kind = nullptr);
  virtual bool SetQWORD(const std::string& key, const std::string& name, uint64_t value,
                        int* kind = nullptr);
  virtual bool SetQWORD(const std::wstring& key, const std::wstring& name, uint64_t value,
                        int* kind = nullptr);
  // REG_MULTI_SZ only. An empty value leaves the caller's list as it was.
  virtual bool GetMultiString(const std::wstring& key, const std::wstring& name, WideList& list,
                              int* kind = nullptr);
  // An empty element is refused (InvalidParameter) and nothing is written.
  virtual bool SetMultiString(const std::wstring& key, const std::wstring& name,
                              const WideList& list, int* kind = nullptr);
  // REG_BINARY only.
  virtual bool GetBinary(const std::wstring& key, const std::wstring& name, ByteList& bytes,
                         int* kind = nullptr);
  virtual bool SetBinary(const std::wstring& key, const std::wstring& name, const ByteList& bytes,
                         int* kind = nullptr);
  // A missing value gives NotFound.
  virtual bool DeleteValue(const std::wstring& key, const std::wstring& name, int* kind = nullptr);

  virtual bool KeyExists(const std::string& key, int* kind = nullptr);
  // The key is there: it opens with READ_CONTROL, or it is found and denies the open (a key
  // that grants nothing is there all the same); false only for a key that is not found or
  // could not be looked up.
  virtual bool KeyExists(const std::wstring& key, int* kind = nullptr);
  virtual bool KeyExists(const std::string& parent, const std::string& child, int* kind = nullptr);
  virtual bool KeyExists(const std::wstring& parent, const std::wstring& child,
                         int* kind = nullptr);
  // Opens or creates the key (and any missing keys along the path); an empty child is
  // refused.
  virtual bool CreateKey(const std::wstring& parent, const std::wstring& child,
                         int* kind = nullptr);
  // Deletes one key without subkeys (a registry link as the link); an empty child is refused.
  virtual bool DeleteKey(const std::wstring& parent, const std::wstring& child,
                         int* kind = nullptr);
  virtual bool DeleteKey(const std::string& path, int* kind = nullptr);
  // The key path split at its last backslash; a path without one is refused.
  virtual bool DeleteKey(const std::wstring& path, int* kind = nullptr);
  virtual bool CreateKey(const std::string& path, int* kind = nullptr);
  // Creates the path level by level; a path of one component is taken as existing and
  // one that ends in a backslash is refused.
  virtual bool CreateKey(const std::wstring& path, int* kind = nullptr);
  // The key and everything below it, children first; the first failure stops the walk. A
  // registry link, or a key that can't be checked for one, is deleted as it is, not listed.
  virtual bool DeleteTree(const std::wstring& parent, const std::wstring& child,
                          int* kind = nullptr);
  // Names of the direct subkeys in enumeration order; the count, 0 on failure (the list
  // is left as it was when the key can't be opened, cleared after a failed enumeration).
  virtual uint32_t GetSubkeys(const std::wstring& key, WideList& names, int* kind = nullptr);
  virtual uint32_t GetValueNames(const std::wstring& key, WideList& names, int* kind = nullptr);
  // Values first, then subkeys; a target inside the source is refused.
  virtual bool CopyTree(const std::wstring& source, const std::wstring& target,
                        int* kind = nullptr);
  // The target key must exist; a REG_NONE value is not copied (WrongType).
  virtual bool CopyValue(const std::wstring& sourceKey, const std::wstring& sourceName,
                         const std::wstring& targetKey, const std::wstring& targetName,
                         int* kind = nullptr);

  // Steps relative to a key the caller holds open, for walks that keep their handles; a base
  // of null stands for the root key, and a name may be a path below the base. The access
  // bits go with every open and deletion, so each step stays in the view it started in.
  // OpenSubkey follows registry links on the way, as every path of a script is resolved.
  virtual bool OpenSubkey(HKEY base, const std::wstring& name, REGSAM rights, UniqueHKey& opened,
                          int* kind = nullptr);
  // The key the name ends in, a registry link as the link itself (REG_OPTION_OPEN_LINK), so
  // that nothing a link points to is reached through the handle.
  virtual bool OpenKeyItself(HKEY base, const std::wstring& name, REGSAM rights, UniqueHKey& opened,
                             int* kind = nullptr);
  // Whether a key opened by OpenKeyItself is a registry link: it holds its target as the
  // REG_LINK value "SymbolicLinkValue". The key needs KEY_QUERY_VALUE; where the value can't
  // be read the answer is false with the failure's kind, and `link` is set to true, since
  // what can't be checked must be taken for a link.
  virtual bool IsLink(HKEY key, bool& link, int* kind = nullptr);
  // Names of the open key's direct subkeys (the list is cleared first, and after a failure).
  virtual uint32_t ListSubkeys(HKEY key, WideList& names, int* kind = nullptr);
  // Deletes one key without subkeys below the base: the key the name ends in, a registry link
  // as the link (opened with REG_OPTION_OPEN_LINK and DELETE, removed with NtDeleteKey), never
  // what it points to.
  virtual bool DeleteSubkey(HKEY base, const std::wstring& name, int* kind = nullptr);
  // What the backup and restore privileges grant whatever a key's DACL says, for a key whose
  // DACL its owner may not write (an OWNER RIGHTS entry): the key itself, a link as the link,
  // opened with backup-and-restore intent; the caller enables the privileges. The backup
  // privilege grants reading (KEY_READ), the restore privilege writing and DELETE, never
  // WRITE_DAC. A key that is not there is not left behind: the open would create it, so it is
  // deleted again (NotFound).
  virtual bool OpenKeyForBackupRestore(HKEY base, const std::wstring& name, REGSAM rights,
                                       UniqueHKey& opened, int* kind = nullptr);
  // DeleteSubkey through such a handle.
  virtual bool DeleteSubkeyForRestore(HKEY base, const std::wstring& name, int* kind = nullptr);

  // Rights ORed into every key open, e.g. KEY_WOW64_32KEY or KEY_WOW64_64KEY.
  virtual void SetAccess(REGSAM access);
  virtual int GetLastErrorKind();
  virtual bool GetRawValue(const std::string& key, const std::string& name, ByteList& bytes,
                           uint32_t& type, int* kind = nullptr);
  // Any type; the type is stored only on success.
  virtual bool GetRawValue(const std::wstring& key, const std::wstring& name, ByteList& bytes,
                           uint32_t& type, int* kind = nullptr);

  // The raw bytes of a REG_MULTI_SZ value; any other type gives WrongType.
  bool GetMultiStringRaw(const std::wstring& key, const std::wstring& name, ByteList& bytes,
                         int* kind = nullptr);

 protected:
  // Maps a Windows error code to an error kind.
  static int KindOfError(LONG error);
  // Stores the kind in the object and the caller's integer; true for Ok.
  bool Report(int kind, int* out);
  bool ReportError(LONG error, int* out) { return Report(KindOfError(error), out); }
  // RegOpenKeyExW below the root with the rights and the access bits.
  LONG Open(const std::wstring& key, REGSAM rights, HKEY* opened) const;
  bool SetValue(const std::wstring& key, const std::wstring& name, DWORD type, const void* data,
                size_t size, int* kind);
  // One listing of names by index with one buffer of the given capacity (in characters,
  // terminator included).
  using NameEnumerator = LONG (*)(HKEY key, DWORD index, wchar_t* name, DWORD* length);
  uint32_t ListNames(const std::wstring& key, NameEnumerator enumerate, DWORD capacity,
                     WideList& names, int* kind);
  uint32_t ListNames(HKEY key, NameEnumerator enumerate, DWORD capacity, WideList& names,
                     int* kind);

  HKEY root_ = HKEY_LOCAL_MACHINE;
  REGSAM access_ = 0;
  int lastErrorKind_ = RegistryError::Ok;
};

// A REG_MULTI_SZ buffer of `count` units as a list: each NUL ends an element, an empty
// element ends the list, units after the last NUL are dropped.
WideList MultiStringToVector(const wchar_t* units, size_t count);
// Each element and a NUL, then one more NUL; false (and an empty result) for an empty
// element.
bool VectorToMultiString(const WideList& list, std::wstring& result);
WideList Utf8VectorToWide(const Utf8List& list);
Utf8List WideVectorToUtf8(const WideList& list);
// Replaces the text by its expansion; empty when the expansion fails.
void ExpandEnvironmentStringsInPlace(std::wstring& text);
