#include "HandOverParameters.h"

#include "KvOptionParser.h"

std::wstring BuildHandOverParameters(const std::wstring& workDir, const std::wstring& language,
                                     const KvOptionParser& options) {
  std::wstring parameters = L" --scripts \"";
  parameters += workDir;
  parameters += L"\" --language ";
  parameters += language;
  if (options.IsSpecified(L"help")) parameters += L" --help";
  if (options.IsSpecified(L"silent")) parameters += L" --silent";
  if (options.IsSpecified(L"restart")) parameters += L" --restart";
  if (options.IsSpecified(L"products")) {
    parameters += L" --products ";
    parameters += options.GetValue(L"products");
  }
  return parameters;
}
