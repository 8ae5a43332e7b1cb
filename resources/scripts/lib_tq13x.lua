-- The TQ13x network filter that Tunlora and Vaultine share: a driver file, a device and a
-- counter of the products that use it.
local lib_common = require("lib_common")
local lib_tq13x = {}

local KEY = "SOFTWARE\\Korvane\\TQ13x"

function lib_tq13x.DriverFile()
  return FileSystem.MakePath(FileSystem.GetSpecialPath(SpecialPath_Sysnative),
                             "drivers\\kvtq13x.sys")
end

-- The product's share goes when it was installed (isUser); the filter goes when no other
-- product is counted (a missing counter counts none).
function lib_tq13x.Release(product, isUser)
  local users = Reg.GetNumber(HKLM, KEY, "Users", KEY_WOW64_64KEY)
  local others = isUser and users - 1 or users
  if others > 0 then
    Log.Info("TQ13x is still used by " .. others .. " other products, kept (" .. product .. ")")
    if not isUser then return true end
    return Reg.SetNumber(others, HKLM, KEY, "Users", KEY_WOW64_64KEY)
  end
  local ok = Win32Driver.UninstallOemDriversByManufacturerAndName("Korvane", "ROOT\\KVTQ13X")
  local driver = lib_tq13x.DriverFile()
  if FileSystem.Exists(driver) and not FileSystem.DeleteFile(driver) then ok = false end
  return lib_common.DeleteBranches({KEY}, {KEY_WOW64_64KEY}) and ok
end

return lib_tq13x
