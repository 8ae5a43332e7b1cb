#pragma once

#include <string>

#include "ProductCatalogue.h"

// One catalogue item on the machine: made by the installation simulator, looked for after a
// run, removed again by the tests that made it as a control. Machine-wide: tests that use
// these take the machine lock.

// The path with its leading {ProgramFiles}, {ProgramFilesX86}, {ProgramData}, {System32} or
// {LocalAppData} (the current user's) replaced.
std::wstring ExpandCataloguePath(const std::wstring& path);

// Makes the item. A "held" item is made as a file (whoever holds it does so separately); an
// item that two products share and that is already there is left as it is, except a counter,
// which counts one more. Services run the test service program in the given mode ("normal",
// "slowstop": two seconds to stop, ...).
bool InstallItem(const CatalogueItem& item, const std::wstring& serviceMode = L"normal");
// Whether anything of the item is left: for files also their folder, unless it is one of the
// shared places.
bool ItemPresent(const CatalogueItem& item);
// Whether all of the item is there as it was made: files with their content and attributes,
// keys with their values, services with the subkeys of their keys (the test of a look-alike
// item after a run).
bool ItemIntact(const CatalogueItem& item);
// Removes the item with what it made (a control item at the end of a test).
void RemoveItem(const CatalogueItem& item);
// "kind argument" for tables and messages.
std::wstring DescribeItem(const CatalogueItem& item);
