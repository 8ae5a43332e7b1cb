#pragma once

#include "IGuiManager.h"

// Console mode: no window; the run's questions are answered from the command line and the
// two error texts are printed to the console.
class GuiSilent : public IGuiManager {
 public:
  bool Start() override { return true; }
  void Stop() override {}
  int ShowMessage(MessageKind kind) override;
  int ShowWelcome() override { return kGuiConfirmed; }
  // Without `products`, every product except "logs" is selected; with it, the run has
  // already selected the named ones and nothing changes here.
  int SelectProducts(ProductList& products) override;
  void ShowProgress() override {}
};
