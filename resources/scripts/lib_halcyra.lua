-- Korvane Halcyra Endpoint Security: its parts and its editions.
local lib_common = require("lib_common")
local lib_halcyra = {}

local KEY = "SOFTWARE\\Korvane\\Halcyra"

function lib_halcyra.Parts()
  local folder = FileSystem.MakePath(lib_common.ProgramFolder(), "Halcyra")
  local data = FileSystem.MakePath(lib_common.DataFolder(), "Halcyra")
  return {
    id = "halcyra",
    upgradeCode = "{3B6F1C20-7D4E-4A51-9C2B-1E0A5D7F4C10}",
    installFolder = folder,
    services = {"KvHalcyraSvc"},
    pendingFolders = {data, folder},
    folders = {folder, data, FileSystem.MakePath(lib_common.ProgramFolderX86(), "Halcyra")},
    userFolders = {"Korvane\\Halcyra"},
    keys64 = {KEY},
    keys32 = {KEY},
    atoms = {"KvHalcyraActive"},
  }
end

-- halcyra_business or halcyra_home, from the installed edition.
function lib_halcyra.SubProductId()
  if Reg.GetString(HKLM, KEY, "Edition", KEY_WOW64_64KEY) == "Business" then
    return "halcyra_business"
  end
  return "halcyra_home"
end

-- The component keys of Halcyra: their names begin with "Halcyra.", in this case.
local COMPONENTS = "SOFTWARE\\Korvane\\Components"
local function IsComponent(name) return name:sub(1, 8) == "Halcyra." end

function lib_halcyra.HasComponents()
  for _, name in ipairs(Reg.GetSubKeys(HKLM, COMPONENTS, KEY_WOW64_64KEY)) do
    if IsComponent(name) then return true end
  end
  return false
end

function lib_halcyra.RemoveComponents()
  return lib_common.DeleteSubKeysIf(HKLM, COMPONENTS, IsComponent, KEY_WOW64_64KEY)
end

return lib_halcyra
