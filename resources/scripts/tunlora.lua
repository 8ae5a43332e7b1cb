-- Korvane Tunlora VPN, with its share of the TQ13x network filter.
local lib_common = require("lib_common")
local lib_tq13x = require("lib_tq13x")

local folder = FileSystem.MakePath(lib_common.ProgramFolder(), "Tunlora")
local parts = {
  id = "tunlora",
  upgradeCode = "{3B6F1C20-7D4E-4A51-9C2B-1E0A5D7F4C20}",
  installFolder = folder,
  services = {"KvTunloraSvc"},
  pendingFolders = {folder},
  folders = {folder, FileSystem.MakePath(lib_common.ProgramFolderX86(), "Tunlora")},
  keys64 = {"SOFTWARE\\Korvane\\Tunlora"},
}

function GetProductId() return "tunlora" end
function GetProductDisplayName() return "Korvane Tunlora VPN" end
function GetPriority() return 20 end

local detected = false

function DetectProduct()
  detected = lib_common.DetectInstallation(parts)
  return detected
end

function CleanupProduct()
  local ok = lib_common.RemoveInstallation(parts)
  ok = lib_tq13x.Release("tunlora", detected) and ok
  return lib_common.FinishRemoval("tunlora", ok)
end
