#pragma once

#include <string>

// Runs a chunk in a fresh Lua state with every module table registered, as a product
// script sees them; its first result as text ("true", "false", a number, a string, or the
// error message after "error: ").
std::string RunLua(const std::string& code);
