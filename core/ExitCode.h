#pragma once

// The process exit codes of a run.
enum ExitCode : int {
  ExitSuccess = 0,
  ExitError = 1,
  ExitCancelled = 2,
  ExitNotAdmin = 3,
  ExitAlreadyRunning = 4,
  ExitRebootNeeded = 99,
};
