#pragma once

#include "ProductConfig.h"

// Checks the products named on the command line against the products found.
class ICmdLineManager {
 public:
  virtual bool ValidateProducts(ProductList& products) = 0;

 protected:
  ~ICmdLineManager() = default;
};
