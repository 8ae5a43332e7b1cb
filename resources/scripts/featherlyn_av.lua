-- Korvane Featherlyn Antivirus, with its SDK and its share of the service bridge.
local lib_common = require("lib_common")
local lib_featherlyn_sdk = require("lib_featherlyn_sdk")
local lib_svc_bridge = require("lib_svc_bridge")

local folder = FileSystem.MakePath(lib_common.ProgramFolder(), "Featherlyn")
local sdk = lib_featherlyn_sdk.Parts()
local parts = {
  id = "featherlyn_av",
  upgradeCode = "{3B6F1C20-7D4E-4A51-9C2B-1E0A5D7F4C70}",
  installFolder = folder,
  services = {"KvFeatherlynAv"},
  folders = lib_common.Concat({folder, FileSystem.MakePath(lib_common.DataFolder(), "Featherlyn"),
                               FileSystem.MakePath(lib_common.ProgramFolderX86(), "Featherlyn")},
                              sdk.folders),
  keys64 = {"SOFTWARE\\Korvane\\Featherlyn", "SOFTWARE\\Korvane\\SvcBridge\\Clients\\featherlyn_av"},
  keys32 = sdk.keys32,
}

function GetProductId() return "featherlyn_av" end
function GetProductDisplayName() return "Korvane Featherlyn Antivirus" end
function GetPriority() return 70 end

function DetectProduct()
  return lib_common.DetectInstallation(parts)
end

function CleanupProduct()
  local ok = lib_common.RemoveInstallation(parts)
  ok = lib_svc_bridge.Release("featherlyn_av") and ok
  return lib_common.FinishRemoval("featherlyn_av", ok)
end
