-- The products' log folders, then the shared Korvane folders and keys left empty.
local lib_common = require("lib_common")

local LOG_FOLDERS = {"Halcyra", "Tunlora", "Vaultine", "KZR", "Norq2", "PTW", "Featherlyn", "WBX"}

local function Folders()
  local log = FileSystem.MakePath(lib_common.DataFolder(), "Log")
  local folders = {}
  for _, name in ipairs(LOG_FOLDERS) do folders[#folders + 1] = FileSystem.MakePath(log, name) end
  return folders
end

function GetProductId() return "logs" end
function GetPriority() return 100 end

function DetectProduct()
  return lib_common.DetectInstallation({id = "logs", folders = Folders()})
end

function CleanupProduct()
  local ok = lib_common.RemoveFolders(Folders())
  return lib_common.FinishRemoval("logs", ok)
end
