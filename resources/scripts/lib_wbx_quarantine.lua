-- The WBX quarantine agent's store.
local lib_common = require("lib_common")
local lib_wbx_quarantine = {}

function lib_wbx_quarantine.Parts()
  return {
    id = "wbx_quarantine",
    folders = {FileSystem.MakePath(lib_common.DataFolder(), "WBX\\Quarantine")},
    keys64 = {"SOFTWARE\\Korvane\\WBX\\QOL"},
  }
end

function lib_wbx_quarantine.Remove()
  lib_common.RunPowerShell("wbx\\qolagent.ps1", "-Unregister")
  local ok = lib_common.RemoveInstallation(lib_wbx_quarantine.Parts())
  lib_common.RemoveFolderIfEmpty(FileSystem.MakePath(lib_common.DataFolder(), "WBX"))
  if Reg.BranchExists(HKLM, "SOFTWARE\\Korvane\\WBX", KEY_WOW64_64KEY) then
    Reg.DeleteBranchIfEmpty(HKLM, "SOFTWARE\\Korvane\\WBX", KEY_WOW64_64KEY)
  end
  return ok
end

return lib_wbx_quarantine
