#pragma once

#include <string>

#include "LuaScript.h"

// A product script: a script file that defines the entry functions GetProductId,
// DetectProduct and CleanupProduct (optionally also GetProductDisplayName,
// GetSubProductIdDetected and GetPriority). Files without the three required functions are
// libraries. A Lua error in an entry function marks the whole run failed.
class LuaUninstallScript : public LuaScript {
 public:
  static constexpr int kDefaultPriority = 50;

  explicit LuaUninstallScript(std::string path, std::string text = {});
  ~LuaUninstallScript() override;

  // Loads and runs the file, then reads the optional priority.
  bool Initialize() override;

  virtual bool IsValidScript();
  virtual std::wstring GetProductId();
  virtual std::wstring GetSubProductIdDetected();
  virtual bool DetectProduct();
  virtual bool CleanupProduct();
  virtual std::wstring GetProductDisplayName();
  // Sort key of the product, lower first; read once when the script is initialised.
  virtual int GetPriority() const { return priority_; }

  // Calls the global function `name` with no arguments, asking for one result. True: the
  // result is on top of the stack for the caller to read and pop.
  bool CallLuaFunction(const char* name);

 private:
  // The result of an entry function as text: a string, or a number in its Lua form; other
  // values, invalid UTF-8 and failed calls give the empty text.
  std::wstring CallForText(const char* name);
  // True only when the entry function returned the boolean true.
  bool CallForBoolean(const char* name);
  // Whether the global `name` is a function (the optional entry functions are called only
  // then).
  bool HasFunction(const char* name);

  int priority_ = kDefaultPriority;
};
