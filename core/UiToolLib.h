#pragma once

#include <string>
#include <utility>

#include "ProductConfig.h"
#include "RemovalResult.h"
#include "StringUtils.h"

// Turns the product scripts of the work directory into products and removes the selected
// ones; one per run.
class UiToolLib {
 public:
  explicit UiToolLib(std::wstring workDirectory) : workDirectory_(std::move(workDirectory)) {}
  virtual ~UiToolLib() = default;

  // Every "*.lua" file (not directory) directly in the work directory, in the order the
  // directory listing gives them.
  virtual void FindScripts(StringList& paths);
  // Loads every script; libraries and scripts that fail to run are dropped. The products
  // are ordered by priority, lowest first; equal priorities keep the listing's order.
  void DetectProducts(ProductList& products);
  // Removes every selected product, in list order. Only what the scripts report while
  // this runs decides the result; a failure wins over a needed reboot.
  RemovalResult RemoveProducts(const ProductList& products);

 private:
  std::wstring workDirectory_;
};
