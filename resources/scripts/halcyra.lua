-- Korvane Halcyra Endpoint Security, with its WBX component.
local lib_common = require("lib_common")
local lib_halcyra = require("lib_halcyra")
local lib_halcyra_wbx = require("lib_halcyra_wbx")

local parts = lib_halcyra.Parts()

function GetProductId() return "halcyra" end
function GetProductDisplayName() return "Korvane Halcyra Endpoint Security" end
function GetPriority() return 10 end
function GetSubProductIdDetected() return lib_halcyra.SubProductId() end

function DetectProduct()
  return lib_common.DetectInstallation(parts) or lib_halcyra.HasComponents()
end

-- The filter device is a part like any other: when it could not be removed, the product is
-- not removed completely.
function CleanupProduct()
  local ok = Win32Driver.UninstallOemDriversByManufacturerAndName("Korvane", "ROOT\\KVHLFLT")
  ok = lib_halcyra_wbx.Remove() and ok
  ok = lib_common.RemoveInstallation(parts) and ok
  ok = lib_halcyra.RemoveComponents() and ok
  return lib_common.FinishRemoval("halcyra", ok)
end
