-- The service bridge that the PTW Sensor and Featherlyn share.
local lib_common = require("lib_common")
local lib_svc_bridge = {}

function lib_svc_bridge.Release(client)
  local folder = FileSystem.MakePath(lib_common.ProgramFolder(), "SvcBridge")
  return lib_common.ReleaseSharedPart("SOFTWARE\\Korvane\\SvcBridge", client, {
    services = {"KvSvcBridge"},
    installFolder = folder,
    folders = {folder},
    keys64 = {"SOFTWARE\\Korvane\\SvcBridge"},
  })
end

return lib_svc_bridge
