-- The quarantine that Halcyra and Featherlyn share.
local lib_common = require("lib_common")

local parts = {
  id = "quarantine",
  folders = {FileSystem.MakePath(lib_common.DataFolder(), "Quarantine")},
  keys64 = {"SOFTWARE\\Korvane\\Quarantine"},
}

function GetProductId() return "quarantine" end
function GetPriority() return 98 end

function DetectProduct()
  return lib_common.DetectInstallation(parts)
end

function CleanupProduct()
  local ok = lib_common.RemoveInstallation(parts)
  return lib_common.FinishRemoval("quarantine", ok)
end
