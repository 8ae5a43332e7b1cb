#pragma once

#include <string>
#include <vector>

// The product catalogue (resources/ProductCatalogue.md) as the installation simulator reads
// it: one section per product ("## <id>: ..."), its items in a fenced block "footprint" and
// its look-alike items in a fenced block "control", one item a line, "kind: arg | arg ...".

struct CatalogueItem {
  std::wstring kind;
  std::vector<std::wstring> arguments;  // trimmed, at least one
};

struct CatalogueProduct {
  std::wstring id;
  std::vector<CatalogueItem> footprint;
  std::vector<CatalogueItem> control;
};

using ProductCatalogue = std::vector<CatalogueProduct>;

// The catalogue file's products in their order; empty when the file can't be read.
ProductCatalogue ReadProductCatalogue(const std::wstring& path);
// The catalogue of the source tree (PRODUCT_CATALOGUE).
const ProductCatalogue& TheProductCatalogue();
// The product with this id; null when there is none.
const CatalogueProduct* FindCatalogueProduct(const ProductCatalogue& catalogue,
                                             const std::wstring& id);
