#include "GuiSilent.h"

#include "Console.h"
#include "KvOptionParser.h"
#include "Settings.h"

int GuiSilent::ShowMessage(MessageKind kind) {
  switch (kind) {
    case ErrorGeneric:
      PrintToConsole(L"%s", Settings::Instance().GetString(L"ErrorGeneric").c_str());
      return kGuiCancelled;
    case ErrorPrivileges:
      PrintToConsole(L"%s", Settings::Instance().GetString(L"ErrorPrivileges").c_str());
      return kGuiCancelled;
    case FinishedReboot:
      return KvOptionParser::Instance().IsSpecified(L"restart") ? kGuiConfirmed : kGuiCancelled;
    default: return kGuiCancelled;
  }
}

int GuiSilent::SelectProducts(ProductList& products) {
  if (KvOptionParser::Instance().IsSpecified(L"products")) return kGuiConfirmed;
  for (const auto& product : products) product->SetSelected(product->GetId() != L"logs");
  return kGuiConfirmed;
}
