-- The WBX component of Halcyra: its folder and the self-signed certificate it added.
local lib_common = require("lib_common")
local lib_halcyra_wbx = {}

function lib_halcyra_wbx.Remove()
  lib_common.RunPowerShell("wbx\\uninstall_self_signed_certificate.ps1",
                           "-Subject \"CN=Korvane Halcyra WBX\"")
  local folder = FileSystem.MakePath(lib_common.ProgramFolder(), "Halcyra\\Wbx")
  return lib_common.RemoveFolders({folder})
end

return lib_halcyra_wbx
