-- The Norq2 updater that KZR and the PTW Sensor share.
local lib_common = require("lib_common")
local lib_norq2 = {}

function lib_norq2.Release(client)
  local folder = FileSystem.MakePath(lib_common.ProgramFolder(), "Norq2")
  return lib_common.ReleaseSharedPart("SOFTWARE\\Korvane\\Norq2", client, {
    services = {"KvNorq2Upd"},
    installFolder = folder,
    folders = {folder},
    keys64 = {"SOFTWARE\\Korvane\\Norq2"},
  })
end

return lib_norq2
