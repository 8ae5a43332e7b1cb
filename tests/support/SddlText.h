#pragma once

#include <windows.h>

#include <string>

// Security descriptors as SDDL text, for comparing what the code under test built with what
// a test expects.

// The DACL of a descriptor as the system writes it; "(unconvertible)" when it can't.
std::string DaclText(PSECURITY_DESCRIPTOR descriptor);
// The DACL of security attributes: "(none)" without attributes, "(default)" when they
// carry no descriptor.
std::string DaclSddl(const SECURITY_ATTRIBUTES* attributes);
// The DACL of an SDDL text as the system writes it back (it orders rights and spells some
// SIDs and masks its own way); "(invalid)" when the system can't read or write it. A text
// that is no DACL ("(none)" and the like) is returned as it is.
std::string NormalSddl(const std::string& sddl);
