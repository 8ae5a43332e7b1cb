#pragma once

#include <memory>
#include <string>
#include <vector>

// How the run, the pages and the console mode see one removable product.
class ProductConfig {
 public:
  virtual ~ProductConfig() = default;

  // A short lower-case name such as "logs".
  virtual std::wstring GetId() const = 0;
  // Which variant of the product was detected; may be empty.
  virtual std::wstring GetSubProductId() const = 0;
  // The name shown to the user; may be empty.
  virtual std::wstring GetDisplayName() const = 0;
  virtual bool IsDetected() const = 0;
  virtual bool IsSelected() const = 0;
  virtual void SetSelected(bool selected) = 0;
  // Sort key, lower values first.
  virtual int GetPriority() const = 0;
};

// The products of a run in removal order. Its users change only the selection; the list is
// the last owner of its products.
using ProductList = std::vector<std::shared_ptr<ProductConfig>>;
