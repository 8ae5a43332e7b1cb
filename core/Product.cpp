#include "Product.h"

#include "KvPrivilege.h"
#include "Log.h"
#include "StringUtils.h"

using namespace KvTzkLogging;

int Product::GetPriority() const {
  return script_ ? script_->GetPriority() : LuaUninstallScript::kDefaultPriority;
}

bool Product::Load(const std::wstring& scriptPath) {
  script_.reset();
  // Scripts see their path as UTF-8. A name without an exact UTF-8 form (a lone surrogate)
  // would name another file once converted, so it is refused.
  std::string path;
  if (!WideToUtf8Exact(scriptPath, path) || path.empty()) {
    LogFuncW(LogError, "Product::Load", L"Script path '%s' has no UTF-8 form, skipping it",
             scriptPath.c_str());
    return false;
  }
  script_ = std::make_unique<LuaUninstallScript>(path);
  if (!script_->Initialize()) return false;
  if (!script_->IsValidScript()) return false;

  id_ = script_->GetProductId();
  displayName_ = script_->GetProductDisplayName();
  detected_ = script_->DetectProduct();
  subProductId_ = script_->GetSubProductIdDetected();

  const size_t slash = scriptPath.rfind(L'\\');
  scriptName_ = slash == std::wstring::npos ? scriptPath : scriptPath.substr(slash + 1);
  return true;
}

bool Product::Remove() {
  if (!script_) return false;
  KvPrivilege takeOwnership(L"SeTakeOwnershipPrivilege");
  if (!takeOwnership.IsEnabled()) {
    LogFuncW(LogError, "Product::Remove", L"Failed to get TakeOnwerShip privilege");
  }
  KvPrivilege restore(L"SeRestorePrivilege");
  if (!restore.IsEnabled()) {
    LogFuncW(LogError, "Product::Remove", L"Failed to get Restore privilege");
  }
  // The privileges are given back in reverse order as the holders go out of scope.
  return script_->CleanupProduct();
}
