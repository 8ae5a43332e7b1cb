-- The WBX quarantine agent's store.
local lib_common = require("lib_common")
local lib_wbx_quarantine = require("lib_wbx_quarantine")

function GetProductId() return "wbx_quarantine" end
function GetPriority() return 99 end

function DetectProduct()
  return lib_common.DetectInstallation(lib_wbx_quarantine.Parts())
end

function CleanupProduct()
  local ok = lib_wbx_quarantine.Remove()
  return lib_common.FinishRemoval("wbx_quarantine", ok)
end
