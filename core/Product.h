#pragma once

#include <memory>
#include <string>

#include "LuaUninstallScript.h"
#include "ProductConfig.h"

// A product backed by one product script. The script's Lua state lives as long as the
// product, so what the script keeps in globals during detection is still there when it is
// removed.
class Product : public ProductConfig {
 public:
  Product() = default;
  ~Product() override = default;
  Product(const Product&) = delete;
  Product& operator=(const Product&) = delete;

  std::wstring GetId() const override { return id_; }
  std::wstring GetSubProductId() const override { return subProductId_; }
  std::wstring GetDisplayName() const override { return displayName_; }
  bool IsDetected() const override { return detected_; }
  bool IsSelected() const override { return selected_; }
  void SetSelected(bool selected) override { selected_ = selected; }
  int GetPriority() const override;

  // Loads and runs the script and asks it for id, name and detection. False when the file
  // fails to run or is a library.
  virtual bool Load(const std::wstring& scriptPath);
  // Runs the script's CleanupProduct with the take-ownership and restore privileges held.
  virtual bool Remove();
  virtual std::wstring GetScriptName() const { return scriptName_; }
  // The product's script, or null before Load.
  LuaUninstallScript* Script() const { return script_.get(); }

 private:
  std::wstring id_;
  std::wstring subProductId_;
  std::wstring displayName_;
  std::wstring scriptName_;
  bool detected_ = false;
  bool selected_ = false;
  std::unique_ptr<LuaUninstallScript> script_;
};
