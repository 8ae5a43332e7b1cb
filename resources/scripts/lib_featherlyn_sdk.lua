-- The 32-bit Featherlyn SDK that the antivirus brings.
local lib_common = require("lib_common")
local lib_featherlyn_sdk = {}

function lib_featherlyn_sdk.Parts()
  return {
    folders = {FileSystem.MakePath(lib_common.ProgramFolderX86(), "Featherlyn SDK")},
    keys32 = {"SOFTWARE\\Korvane\\FeatherlynSDK"},
  }
end

return lib_featherlyn_sdk
