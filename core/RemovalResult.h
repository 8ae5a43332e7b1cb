#pragma once

// The outcome of removing the selected products.
enum class RemovalResult : int {
  Removed = 0,
  RemovedRebootNeeded = 1,
  Failed = 2,
};
