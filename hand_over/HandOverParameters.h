#pragma once

#include <string>

class KvOptionParser;

// The arguments the 32-bit program hands to the 64-bit one, after the quoted program path:
// " --scripts \"<work directory>\" --language <language>", then " --help", " --silent",
// " --restart" and " --products <ids>" for those of the options that were given, in that
// order. The work directory and the ids go as they are; the language is the one that was
// selected, not the one typed.
std::wstring BuildHandOverParameters(const std::wstring& workDir, const std::wstring& language,
                                     const KvOptionParser& options);
