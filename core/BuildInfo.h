#pragma once

namespace BuildInfo {

constexpr wchar_t kVersion[] = L"18.1.32";
// The compiler's date and time of the build, e.g. "Aug 14 2020" and "17:48:51".
constexpr wchar_t kBuildDate[] = L"" __DATE__;
constexpr wchar_t kBuildTime[] = L"" __TIME__;

#ifdef _WIN64
constexpr wchar_t kSingleInstanceMutex[] = L"Global\\{91D7C0A1-4A48-4F19-8492-D22A1F91C4CE}";
#else
constexpr wchar_t kSingleInstanceMutex[] = L"Global\\{9E18E678-002E-4F1A-A5E5-3F7A344403DF}";
#endif

}  // namespace BuildInfo
