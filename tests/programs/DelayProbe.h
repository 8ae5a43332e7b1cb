#pragma once

#include <cstdint>

// What the library kvdelayprobe.dll saw when the resolver handed it the settings. The
// library serves the delay-load tests: it is bound on first use from the places the tests
// configure, and tells where it was loaded from.
struct DelayProbeRecord {
  int calls = 0;      // how often one of the two exports was called
  int version = -1;   // 0: TzkDelayLoadDependencies, 1: KVDelayLoadDependencies
  uint32_t size = 0;  // the record's size field
  uint32_t flags = 0;
  uint32_t profileId = 0;
  bool profileNull = true;
  bool directoryNull = true;
  wchar_t profile[260] = {};
  wchar_t directory[260] = {};
};

// Exports: ProbeOrdinal (ordinal 7 only, returns 7), ProbeNamed (returns 8),
// ProbeModulePath(buffer, size) and ProbeLastRecord(record*).
constexpr int kProbeOrdinal = 7;
