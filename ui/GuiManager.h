#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Dialog.h"
#include "DialogChild.h"
#include "GdiPlus.h"
#include "IGuiManager.h"
#include "UniqueAny.h"

// Window mode. The window lives on a UI thread of its own: a hidden main dialog (template
// 127) whose first page shows it. The run's thread shows a page by posting it to the main
// dialog (WM_SHOWCHILD, the page's ownership goes with the message) and, where it needs an
// answer, waits until the page's OK or Cancel arrives or the UI thread has ended.
class GuiManager : public IGuiManager, public KvUI::Dialog {
 public:
  static constexpr UINT WM_SHOWCHILD = WM_APP + 1;

  // The stop event belongs to the run; this object sets it when the UI thread ends.
  GuiManager(HANDLE stopEvent, HINSTANCE instance);
  ~GuiManager() override;

  bool Start() override;
  void Stop() override;
  int ShowMessage(MessageKind kind) override;
  int ShowWelcome() override;
  int SelectProducts(ProductList& products) override;
  void ShowProgress() override;

  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  int OnInitDialog() override;
  INT_PTR OnCommand(WORD id, WORD code, HWND control) override;
  void OnDestroy() override;

 protected:
  virtual bool PostShowDialog(std::unique_ptr<DialogChild> page);
  virtual int ShowDialogAndWait(std::unique_ptr<DialogChild> page);
  virtual void ShowChild(DialogChild* page);
  virtual int MessageLoop();

 private:
  void Run();
  // Takes a posted page back from the pages in transit; null when it is not one of them.
  std::unique_ptr<DialogChild> TakePosted(DialogChild* page);

  // The main dialog for the run's thread: set before ready, never cleared (posting to a
  // window that is gone fails).
  std::atomic<HWND> mainWindow_{nullptr};
  int result_ = 0;
  UniqueHandle dialogDone_;
  // Shared (LoadIconW): not destroyed by us.
  HICON icon_;
  UniqueHandle ready_;
  HANDLE stop_;
  HINSTANCE instance_;
  std::thread uiThread_;
  std::shared_ptr<KvUI::GdiPlus::Instance> gdiPlus_;
  // Pages posted but not yet taken by the UI thread; freed here when no window takes them.
  std::mutex postedLock_;
  std::vector<std::unique_ptr<DialogChild>> posted_;
  std::unique_ptr<DialogChild> currentPage_;
};
