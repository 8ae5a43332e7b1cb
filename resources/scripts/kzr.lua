-- Korvane KZR Firewall, with its share of the Norq2 updater.
local lib_common = require("lib_common")
local lib_norq2 = require("lib_norq2")

local folder = FileSystem.MakePath(lib_common.ProgramFolder(), "KZR")
local parts = {
  id = "kzr",
  upgradeCode = "{3B6F1C20-7D4E-4A51-9C2B-1E0A5D7F4C30}",
  installFolder = folder,
  services = {"KvKzrFw"},
  folders = {folder, FileSystem.MakePath(lib_common.ProgramFolderX86(), "Kzr")},
  keys64 = {"SOFTWARE\\Korvane\\KZR", "SOFTWARE\\Korvane\\Norq2\\Clients\\kzr"},
  keys32 = {"SOFTWARE\\Korvane\\KZR"},
}

function GetProductId() return "kzr" end
function GetProductDisplayName() return "Korvane KZR Firewall" end
function GetPriority() return 30 end

function DetectProduct()
  return lib_common.DetectInstallation(parts)
end

function CleanupProduct()
  local ok = lib_common.RemoveInstallation(parts)
  ok = lib_norq2.Release("kzr") and ok
  return lib_common.FinishRemoval("kzr", ok)
end
