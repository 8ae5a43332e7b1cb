#pragma once

#include "ProductConfig.h"

// The messages the run shows; the names are also the keys of their texts.
enum MessageKind : int {
  ErrorGeneric = 0,
  ErrorPrivileges = 1,
  Finished = 2,
  FinishedReboot = 3,
};

// Answers of the user-interface calls: 1 confirmed, anything else cancelled.
constexpr int kGuiConfirmed = 1;
constexpr int kGuiCancelled = 2;

// What the run needs of a user interface, window or console. Called from the main thread.
class IGuiManager {
 public:
  virtual bool Start() = 0;
  virtual void Stop() = 0;
  virtual int ShowMessage(MessageKind kind) = 0;
  virtual int ShowWelcome() = 0;
  // Stores the user's choice with ProductConfig::SetSelected.
  virtual int SelectProducts(ProductList& products) = 0;
  // Shows that the removal is running and returns at once.
  virtual void ShowProgress() = 0;
  virtual ~IGuiManager() = default;
};
