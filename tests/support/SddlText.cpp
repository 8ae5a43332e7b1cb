#include "SddlText.h"

#include <sddl.h>

#include "UniqueAny.h"

namespace {

bool ToDaclText(PSECURITY_DESCRIPTOR descriptor, std::string& text) {
  LPSTR converted = nullptr;
  if (!::ConvertSecurityDescriptorToStringSecurityDescriptorA(
          descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &converted, nullptr)) {
    return false;
  }
  const UniqueLocal holder(converted);
  text = converted;
  return true;
}

}  // namespace

std::string DaclText(PSECURITY_DESCRIPTOR descriptor) {
  std::string text;
  return ToDaclText(descriptor, text) ? text : "(unconvertible)";
}

std::string DaclSddl(const SECURITY_ATTRIBUTES* attributes) {
  if (attributes == nullptr) return "(none)";
  if (attributes->lpSecurityDescriptor == nullptr) return "(default)";
  return DaclText(attributes->lpSecurityDescriptor);
}

std::string NormalSddl(const std::string& sddl) {
  if (sddl.rfind("D:", 0) != 0) return sddl;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
    return "(invalid)";
  }
  const UniqueLocal holder(descriptor);
  std::string text;
  // Never the marker of DaclText: a descriptor that can't be written is no match for anything.
  return ToDaclText(descriptor, text) ? text : "(invalid)";
}
