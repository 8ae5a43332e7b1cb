-- Korvane PTW Sensor (its own set-up), with its shares of the Norq2 updater and the service
-- bridge.
local lib_common = require("lib_common")
local lib_norq2 = require("lib_norq2")
local lib_svc_bridge = require("lib_svc_bridge")

local folder = FileSystem.MakePath(lib_common.ProgramFolder(), "PTW")
local parts = {
  id = "ptwsensor",
  installFolder = folder,
  services = {"KvPtwSensor"},
  folders = {folder},
  keys64 = {"SOFTWARE\\Korvane\\PTW",
            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KorvanePTWSensor",
            "SOFTWARE\\Korvane\\Norq2\\Clients\\ptwsensor",
            "SOFTWARE\\Korvane\\SvcBridge\\Clients\\ptwsensor"},
}

function GetProductId() return "ptwsensor" end
function GetProductDisplayName() return "Korvane PTW Sensor" end
function GetPriority() return 50 end

function DetectProduct()
  return lib_common.DetectInstallation(parts)
end

function CleanupProduct()
  local ok = lib_common.RemoveInstallation(parts)
  ok = lib_norq2.Release("ptwsensor") and ok
  ok = lib_svc_bridge.Release("ptwsensor") and ok
  return lib_common.FinishRemoval("ptwsensor", ok)
end
