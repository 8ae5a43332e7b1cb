#include "ProductCatalogue.h"

#include "StringUtils.h"
#include "TestFiles.h"

namespace {

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool ParseItem(const std::string& line, CatalogueItem& item) {
  const size_t colon = line.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  item.kind = Utf8ToWide(Trim(line.substr(0, colon)));
  std::string rest = line.substr(colon + 1);
  size_t start = 0;
  while (true) {
    const size_t bar = rest.find('|', start);
    item.arguments.push_back(Utf8ToWide(Trim(rest.substr(start, bar - start))));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return !item.arguments.front().empty();
}

}  // namespace

ProductCatalogue ReadProductCatalogue(const std::wstring& path) {
  ProductCatalogue catalogue;
  std::string text;
  if (!ReadFileBytes(path, text)) return catalogue;
  std::vector<CatalogueItem>* block = nullptr;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = Trim(text.substr(start, end - start));
    start = end + 1;
    if (line.rfind("## ", 0) == 0) {
      const size_t colon = line.find(':');
      catalogue.push_back({Utf8ToWide(Trim(line.substr(3, colon - 3))), {}, {}});
    } else if (line == "```footprint" && !catalogue.empty()) {
      block = &catalogue.back().footprint;
    } else if (line == "```control" && !catalogue.empty()) {
      block = &catalogue.back().control;
    } else if (line.rfind("```", 0) == 0) {
      block = nullptr;
    } else if (block != nullptr && !line.empty()) {
      CatalogueItem item;
      if (ParseItem(line, item)) block->push_back(std::move(item));
    }
  }
  return catalogue;
}

const ProductCatalogue& TheProductCatalogue() {
  static const ProductCatalogue catalogue = ReadProductCatalogue(PRODUCT_CATALOGUE);
  return catalogue;
}

const CatalogueProduct* FindCatalogueProduct(const ProductCatalogue& catalogue,
                                             const std::wstring& id) {
  for (const auto& product : catalogue) {
    if (product.id == id) return &product;
  }
  return nullptr;
}
