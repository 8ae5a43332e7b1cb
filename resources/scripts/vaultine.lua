-- Korvane Vaultine Password Manager (32-bit, its own set-up), with its share of the TQ13x
-- network filter.
local lib_common = require("lib_common")
local lib_tq13x = require("lib_tq13x")

local parts = {
  id = "vaultine",
  installFolder = FileSystem.MakePath(lib_common.ProgramFolderX86(), "Vaultine"),
  folders = {FileSystem.MakePath(lib_common.ProgramFolderX86(), "Vaultine")},
  userFolders = {"Korvane\\Vaultine"},
  keys32 = {"SOFTWARE\\Korvane\\Vaultine",
            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KorvaneVaultine"},
}

function GetProductId() return "vaultine" end
function GetProductDisplayName() return "Korvane Vaultine Password Manager" end
function GetPriority() return 30 end

local detected = false

function DetectProduct()
  detected = lib_common.DetectInstallation(parts)
  return detected
end

function CleanupProduct()
  Process.TerminateAllFromPath(parts.installFolder)
  local ok = lib_common.RemoveInstallation(parts)
  ok = lib_tq13x.Release("vaultine", detected) and ok
  return lib_common.FinishRemoval("vaultine", ok)
end
