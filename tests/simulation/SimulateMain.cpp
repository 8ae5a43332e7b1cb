// kv_simulate: the installation simulator of the tests and the demonstration. It installs the
// footprint of Korvane products, as the product catalogue lists it, into the Wine prefix it
// runs in, and reports which of the catalogue's items are there.
//
//   kv_simulate install [--controls] [--hold] <product id>... | all
//     --controls  the products' look-alike items too
//     --hold      keeps the products' held files open from a process that outlives this one
//   kv_simulate report <product id>... | all
//     one line per item: product id, "footprint" or "control", the item, and "present" or
//     "-"; a control item is "present" only when all of it is there as it was made, and
//     "changed" when only some of it is
// Exit code 0 when every item could be made (install) or always (report), 2 for a bad
// command line.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "HeldFile.h"
#include "ProductCatalogue.h"
#include "SimulatedItem.h"
#include "StringUtils.h"

namespace {

void Print(const std::wstring& text) {
  const std::string utf8 = WideToUtf8(text) + "\n";
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  std::fflush(stdout);
}

std::vector<const CatalogueProduct*> Select(const std::vector<std::wstring>& ids, bool& ok) {
  std::vector<const CatalogueProduct*> products;
  for (const auto& id : ids) {
    if (id == L"all") {
      for (const auto& product : TheProductCatalogue()) products.push_back(&product);
    } else if (const CatalogueProduct* product = FindCatalogueProduct(TheProductCatalogue(), id)) {
      products.push_back(product);
    } else {
      Print(L"unknown product: " + id);
      ok = false;
    }
  }
  return products;
}

int Install(const std::vector<const CatalogueProduct*>& products, bool controls, bool hold) {
  int code = 0;
  auto install = [&](const std::wstring& id, const CatalogueItem& item) {
    if (!InstallItem(item)) {
      Print(L"failed: " + id + L" " + DescribeItem(item));
      code = 1;
    } else if (hold && item.kind == L"held") {
      HeldFile held(ExpandCataloguePath(item.arguments[0]));
      if (!held.IsHeld()) {
        Print(L"not held: " + id + L" " + DescribeItem(item));
        code = 1;
      }
      held.Release();
    }
  };
  for (const CatalogueProduct* product : products) {
    for (const auto& item : product->footprint) install(product->id, item);
    if (controls) {
      for (const auto& item : product->control) install(product->id, item);
    }
  }
  return code;
}

const wchar_t* State(const CatalogueItem& item, bool control) {
  if (!ItemPresent(item)) return L"-";
  return !control || ItemIntact(item) ? L"present" : L"changed";
}

void Report(const std::vector<const CatalogueProduct*>& products) {
  for (const CatalogueProduct* product : products) {
    for (const auto* block : {&product->footprint, &product->control}) {
      const bool control = block == &product->control;
      for (const auto& item : *block) {
        Print(product->id + (control ? L"\tcontrol\t" : L"\tfootprint\t") + DescribeItem(item) +
              L"\t" + State(item, control));
      }
    }
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (TheProductCatalogue().empty()) {
    Print(L"the product catalogue can't be read: " PRODUCT_CATALOGUE);
    return 1;
  }
  const std::wstring command = argc > 1 ? argv[1] : L"";
  bool controls = false, hold = false, ok = true;
  std::vector<std::wstring> ids;
  for (int i = 2; i < argc; ++i) {
    const std::wstring argument = argv[i];
    if (argument == L"--controls") {
      controls = true;
    } else if (argument == L"--hold") {
      hold = true;
    } else {
      ids.push_back(argument);
    }
  }
  const auto products = Select(ids, ok);
  if (!ok || ids.empty() || (command != L"install" && command != L"report")) {
    Print(L"usage: kv_simulate install [--controls] [--hold] <product id>... | all");
    Print(L"       kv_simulate report <product id>... | all");
    return 2;
  }
  if (command == L"install") return Install(products, controls, hold);
  Report(products);
  return 0;
}
