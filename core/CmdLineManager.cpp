#include "CmdLineManager.h"

#include "Console.h"
#include "KvOptionParser.h"
#include "Log.h"
#include "StringUtils.h"

using namespace KvTzkLogging;

ProductConfig* CmdLineManager::FindProduct(const ProductList& products, const std::wstring& id) {
  for (const auto& product : products) {
    if (product->GetId() == id) return product.get();
  }
  return nullptr;
}

bool CmdLineManager::ValidateProducts(ProductList& products) {
  KvOptionParser& options = KvOptionParser::Instance();
  if (!options.IsSpecified(L"products")) return true;

  StringList invalid;
  std::vector<ProductConfig*> named;
  for (const auto& piece : Split(options.GetValue(L"products"), L',')) {
    ProductConfig* product = FindProduct(products, piece);
    if (product == nullptr) {
      invalid.push_back(piece);
    } else {
      named.push_back(product);
    }
  }
  if (!invalid.empty()) {
    const std::wstring list = Join(invalid, L',');
    LogFuncW(LogError, "CmdLineManager::ValidateProducts",
             L"Invalid products from command line: %ls", list.c_str());
    PrintToConsole(L"Invalid products selected %ls", list.c_str());
    return false;
  }
  for (ProductConfig* product : named) product->SetSelected(true);
  return true;
}
