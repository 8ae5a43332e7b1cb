#include "UiToolLib.h"

#include <algorithm>
#include <memory>

#include "Log.h"
#include "PathUtils.h"
#include "Product.h"
#include "Status.h"
#include "UniqueAny.h"

using namespace KvTzkLogging;

void UiToolLib::FindScripts(StringList& paths) {
  paths.clear();
  if (workDirectory_.empty()) return;
  WIN32_FIND_DATAW entry{};
  UniqueFindHandle find(::FindFirstFileW(CombinePath(workDirectory_, L"*.lua").c_str(), &entry));
  if (!find) return;
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      paths.push_back(CombinePath(workDirectory_, entry.cFileName));
    }
  } while (::FindNextFileW(find.get(), &entry));
}

void UiToolLib::DetectProducts(ProductList& products) {
  Status::Instance().Clear();
  StringList paths;
  FindScripts(paths);
  if (paths.empty()) {
    LogFuncW(LogWarning, "UiToolLib::DetectProducts", L"Could not find any scripts from %s",
             workDirectory_.c_str());
    return;
  }
  for (const auto& path : paths) {
    auto product = std::make_shared<Product>();
    if (product->Load(path)) products.push_back(std::move(product));
  }
  std::stable_sort(products.begin(), products.end(), [](const auto& left, const auto& right) {
    return left->GetPriority() < right->GetPriority();
  });
}

RemovalResult UiToolLib::RemoveProducts(const ProductList& products) {
  Status& status = Status::Instance();
  status.Clear();
  for (const auto& entry : products) {
    if (!entry || !entry->IsSelected()) continue;
    LogFuncW(LogInfo, "UiToolLib::RemoveProducts", L"Removing product: %s %s (%s)",
             entry->GetId().c_str(), entry->GetSubProductId().c_str(),
             entry->GetDisplayName().c_str());
    auto* product = dynamic_cast<Product*>(entry.get());
    if (product == nullptr) {
      // Only products backed by a script can be removed (the test UI's products can't).
      LogFuncW(LogError, "UiToolLib::RemoveProducts", L"'%s' has no script to remove it",
               entry->GetId().c_str());
      status.SetFailed();
      continue;
    }
    product->Remove();
  }
  if (status.IsFailed()) return RemovalResult::Failed;
  if (status.IsRebootNeeded()) return RemovalResult::RemovedRebootNeeded;
  return RemovalResult::Removed;
}
