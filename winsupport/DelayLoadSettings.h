#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

// What the export TzkDelayLoadDependencies of a library loaded on demand receives.
struct DelayLoadRecordV0 {
  uint32_t size;
  uint32_t flags;
  const wchar_t* profile;    // null when no profile name is set
  const wchar_t* directory;  // null when no directory is set
};

// What the export KVDelayLoadDependencies receives (mode 1); laid out without padding.
#pragma pack(push, 1)
struct DelayLoadRecordV1 {
  uint32_t size;
  uint32_t profileId;
  uint32_t flags;  // bit 0 only
  const wchar_t* directory;
};
#pragma pack(pop)

static_assert(sizeof(DelayLoadRecordV0) == (sizeof(void*) == 8 ? 24 : 16));
static_assert(sizeof(DelayLoadRecordV1) == (sizeof(void*) == 8 ? 20 : 16));

// Steers the search for the libraries bound on first use (DelayLoad::ResolveLibrary).
// One object per process, created on first use. The program itself only clears
// kSearchOwnDirectory at start; everything else keeps its initial value, so that every
// library is taken from the system directory.
class DelayLoadSettings {
 public:
  // Flag bit: also search the directory of the running program.
  static constexpr uint32_t kSearchOwnDirectory = 0x1;

  static DelayLoadSettings& Instance();

  void SetFlag(uint32_t bits, bool set);
  // Records the name of the module just loaded under the owner key; nothing for key 0.
  void RecordLoadedModule(const char* libraryName);
  void FillRecordV0(DelayLoadRecordV0& record) const;
  void FillRecordV1(DelayLoadRecordV1& record) const;

  // The rest of the configuration. The resolver reads it without a lock, so it is set before
  // the first library is bound.
  void SetOwnerKey(uint64_t key);
  void SetProfileName(const std::wstring& name);
  void SetDirectory(const std::wstring& directory);
  void SetProfileId(uint32_t id);
  // 0 or 1; mode 1 adds the search under the profile id and calls KVDelayLoadDependencies.
  void SetMode(uint32_t mode);

  uint32_t Flags() const { return flags_; }
  const std::wstring& ProfileName() const { return profileName_; }
  const std::wstring& Directory() const { return directory_; }
  uint32_t ProfileId() const { return profileId_; }
  uint32_t Mode() const { return mode_; }
  // The module last loaded under the key; empty when none was.
  std::string LoadedModule(uint64_t ownerKey);

 private:
  DelayLoadSettings() = default;
  DelayLoadSettings(const DelayLoadSettings&) = delete;
  DelayLoadSettings& operator=(const DelayLoadSettings&) = delete;

  uint64_t ownerKey_ = 0;
  uint32_t flags_ = 0;
  std::wstring profileName_;
  std::wstring directory_;
  uint32_t profileId_ = 0;
  uint32_t mode_ = 0;
  std::map<uint64_t, std::string> loadedModules_;
  std::mutex lock_;
};
