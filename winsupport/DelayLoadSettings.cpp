#include "DelayLoadSettings.h"

DelayLoadSettings& DelayLoadSettings::Instance() {
  static DelayLoadSettings instance;
  return instance;
}

void DelayLoadSettings::SetFlag(uint32_t bits, bool set) {
  std::lock_guard<std::mutex> guard(lock_);
  flags_ = set ? (flags_ | bits) : (flags_ & ~bits);
}

void DelayLoadSettings::RecordLoadedModule(const char* libraryName) {
  if (ownerKey_ == 0 || libraryName == nullptr) return;
  // Two threads may bind libraries at once.
  std::lock_guard<std::mutex> guard(lock_);
  loadedModules_[ownerKey_] = libraryName;
}

std::string DelayLoadSettings::LoadedModule(uint64_t ownerKey) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto found = loadedModules_.find(ownerKey);
  return found == loadedModules_.end() ? std::string() : found->second;
}

void DelayLoadSettings::FillRecordV0(DelayLoadRecordV0& record) const {
  record.size = sizeof(DelayLoadRecordV0);
  record.flags = flags_;
  record.profile = profileName_.empty() ? nullptr : profileName_.c_str();
  record.directory = directory_.empty() ? nullptr : directory_.c_str();
}

void DelayLoadSettings::FillRecordV1(DelayLoadRecordV1& record) const {
  record.size = sizeof(DelayLoadRecordV1);
  record.profileId = profileId_;
  record.flags = flags_ & kSearchOwnDirectory;
  record.directory = directory_.empty() ? nullptr : directory_.c_str();
}

void DelayLoadSettings::SetOwnerKey(uint64_t key) {
  std::lock_guard<std::mutex> guard(lock_);
  ownerKey_ = key;
}

void DelayLoadSettings::SetProfileName(const std::wstring& name) {
  std::lock_guard<std::mutex> guard(lock_);
  profileName_ = name;
}

void DelayLoadSettings::SetDirectory(const std::wstring& directory) {
  std::lock_guard<std::mutex> guard(lock_);
  directory_ = directory;
}

void DelayLoadSettings::SetProfileId(uint32_t id) {
  std::lock_guard<std::mutex> guard(lock_);
  profileId_ = id;
}

void DelayLoadSettings::SetMode(uint32_t mode) {
  std::lock_guard<std::mutex> guard(lock_);
  mode_ = mode;
}
