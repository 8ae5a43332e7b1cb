#pragma once

#include <windows.h>

#include <optional>
#include <string>

// A copy of PurgeKit64.exe with one of its resources swapped, for the runs that need other
// texts or another script archive than the build put in.
struct ResourceChange {
  LPCWSTR type;  // a type name such as L"PROPERTIES", or an id such as RT_RCDATA
  WORD id;
  // The new bytes; none removes the resource.
  std::optional<std::string> bytes;
};

// Writes the copy at `copy`, with `change` made when it is given; empty on failure. The
// resource set is written anew, because Wine's UpdateResourceW does not delete a single
// resource.
std::wstring MakeProgramCopy(const std::wstring& copy, const ResourceChange* change);
