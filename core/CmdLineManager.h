#pragma once

#include <string>

#include "ICmdLineManager.h"

class CmdLineManager : public ICmdLineManager {
 public:
  // Selects the products named by the `products` option. False, with nothing selected,
  // when a named id matches no product (ids are compared exactly, case-sensitively).
  bool ValidateProducts(ProductList& products) override;

  static ProductConfig* FindProduct(const ProductList& products, const std::wstring& id);
};
