-- Shared functions of the Korvane product scripts.
local lib_common = {}

function lib_common.IsEmpty(text)
  return text == nil or text == ""
end

-- A new array with the elements of a, then those of b.
function lib_common.Concat(a, b)
  local result = {}
  for _, v in ipairs(a or {}) do result[#result + 1] = v end
  for _, v in ipairs(b or {}) do result[#result + 1] = v end
  return result
end

function lib_common.Contains(list, value)
  for _, v in ipairs(list or {}) do
    if v == value then return true end
  end
  return false
end

-- Deletes every direct subkey of key whose name satisfies predicate(name); true when every
-- deletion succeeded.
function lib_common.DeleteSubKeysIf(root, key, predicate, view)
  local ok = true
  for _, name in ipairs(Reg.GetSubKeys(root, key, view)) do
    if predicate(name) then
      ok = Reg.DeleteBranch(root, key .. "\\" .. name, view) and ok
    end
  end
  return ok
end

function lib_common.DeleteSubKeysExcept(root, key, kept, view)
  return lib_common.DeleteSubKeysIf(root, key, function(name)
    return not lib_common.Contains(kept, name)
  end, view)
end

-- The prefix is compared with regard to case.
function lib_common.DeleteSubKeysStartingWith(root, key, prefix, view)
  return lib_common.DeleteSubKeysIf(root, key, function(name)
    return name:sub(1, #prefix) == prefix
  end, view)
end

function lib_common.FolderOf(path)
  return FileSystem.SplitPath(path)[1]
end

function lib_common.FileNameOf(path)
  return FileSystem.SplitPath(path)[2]
end

function lib_common.SpecialPath(id)
  return FileSystem.GetSpecialPath(id)
end

-- The maker's default folders.
function lib_common.ProgramFolder()
  return FileSystem.MakePath(FileSystem.GetSpecialPath(SpecialPath_CommonProgramFiles), "Korvane")
end

function lib_common.ProgramFolderX86()
  return FileSystem.MakePath(FileSystem.GetSpecialPath(SpecialPath_CommonProgramFilesX86),
                             "Korvane")
end

function lib_common.DataFolder()
  return FileSystem.MakePath(FileSystem.GetSpecialPath(SpecialPath_CommonAppData), "Korvane")
end

-- The folder relative to the Local AppData folder of every user profile, existing or not.
function lib_common.UserFolders(relative)
  local folders = {}
  local profiles = FileSystem.GetSpecialPath(SpecialPath_UserProfiles)
  if lib_common.IsEmpty(profiles) then return folders end
  for _, name in ipairs(FileSystem.ListDirectory(profiles, ListDir_Directories)) do
    local local_data = FileSystem.MakePath(FileSystem.MakePath(profiles, name), "AppData\\Local")
    folders[#folders + 1] = FileSystem.MakePath(local_data, relative)
  end
  return folders
end

function lib_common.ServiceExists(name)
  return Service.State(name) ~= SERVICE_INVALID_VALUE
end

-- Stops each service, ends every process still running from the installation folder, then
-- deletes each service; true when every deletion succeeded.
function lib_common.CleanServices(services, installFolder)
  for _, name in ipairs(services) do
    if lib_common.ServiceExists(name) and not Service.Stop(name) then
      Log.Warning("Service " .. name .. " did not stop")
    end
  end
  if not lib_common.IsEmpty(installFolder) then
    Process.TerminateAllFromPath(installFolder)
  end
  local ok = true
  for _, name in ipairs(services) do
    if not Service.Cleanup(name) then
      Log.Error("Service " .. name .. " was not deleted")
      ok = false
    end
  end
  return ok
end

-- Removes each folder tree that exists; true when every removal succeeded.
function lib_common.RemoveFolders(folders)
  local ok = true
  for _, folder in ipairs(folders) do
    if FileSystem.Exists(folder) and not FileSystem.RemoveRecursive(folder) then
      Log.Error("Could not remove " .. folder)
      ok = false
    end
  end
  return ok
end

-- Removes the folder when nothing is left in it.
function lib_common.RemoveFolderIfEmpty(folder)
  if FileSystem.IsDirectory(folder) then FileSystem.RemoveDirectoryIfEmpty(folder) end
end

-- Removes each HKLM branch in the given views (both when none is given); true when every
-- removal succeeded.
function lib_common.DeleteBranches(keys, views)
  local ok = true
  for _, key in ipairs(keys) do
    for _, view in ipairs(views or {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) do
      if Reg.BranchExists(HKLM, key, view) and not Reg.DeleteBranch(HKLM, key, view) then
        Log.Error("Could not remove HKLM\\" .. key)
        ok = false
      end
    end
  end
  return ok
end

-- Drops the restart operations the product scheduled for files below the folder. Run it
-- before the folder's own removal, which may schedule operations of its own.
function lib_common.DropPendingOperations(folder)
  local removed = Path.RemoveFromPendingOperation(folder)
  if removed ~= nil and removed > 0 then
    Log.Info("Dropped " .. removed .. " pending operations below " .. folder)
  end
end

-- Runs a PowerShell script of the archive; a missing or failing PowerShell is logged and the
-- caller goes on.
function lib_common.RunPowerShell(script, arguments)
  local powershell = FileSystem.MakePath(FileSystem.GetSpecialPath(SpecialPath_Sysnative),
                                         "WindowsPowerShell\\v1.0\\powershell.exe")
  local path = FileSystem.MakePath(CurrentScriptDir, script)
  local command = "-NoProfile -NonInteractive -ExecutionPolicy Bypass -File \"" .. path .. "\""
  if not lib_common.IsEmpty(arguments) then command = command .. " " .. arguments end
  -- The process start puts the quoted program in front of the arguments itself.
  if FileSystem.IsFile(powershell) and
     Process.StartProcessAndWaitForCompletion(powershell, command, 60000,
                                              CreationFlags_CREATE_NO_WINDOW, "", "powershell",
                                              CP_OEMCP) then
    return true
  end
  Log.Warning("PowerShell step failed: " .. script)
  return false
end

-- One product's own parts, as the product scripts describe them:
--   id  the product id, for the log
--   upgradeCode  the installer package's upgrade code (optional)
--   installFolder  where its programs run from (services' processes are ended there)
--   services, folders, userFolders (relative to Local AppData), keys64, keys32, atoms
--   pendingFolders  folders whose scheduled restart operations the product made
-- The first part found, as a text for the log; nil when none is there. Any part is enough:
-- a partly removed product is found as well.
local function FindPart(parts)
  if parts.upgradeCode and Msi.DetectUpgradeCode(parts.upgradeCode) then
    return "installer package " .. parts.upgradeCode
  end
  for _, name in ipairs(parts.services or {}) do
    if lib_common.ServiceExists(name) then return "service " .. name end
  end
  local folders = lib_common.Concat(parts.folders, {})
  for _, relative in ipairs(parts.userFolders or {}) do
    folders = lib_common.Concat(folders, lib_common.UserFolders(relative))
  end
  for _, folder in ipairs(folders) do
    if FileSystem.Exists(folder) then return "folder " .. folder end
  end
  for _, key in ipairs(parts.keys64 or {}) do
    if Reg.BranchExists(HKLM, key, KEY_WOW64_64KEY) then return "key HKLM\\" .. key end
  end
  for _, key in ipairs(parts.keys32 or {}) do
    if Reg.BranchExists(HKLM, key, KEY_WOW64_32KEY) then return "key HKLM\\" .. key .. " (32-bit)" end
  end
  return nil
end

-- Whether any part of the product is there; logs what was found.
function lib_common.DetectInstallation(parts)
  local found = FindPart(parts)
  if found == nil then
    Log.Info(parts.id .. " not detected")
    return false
  end
  Log.Info(parts.id .. " detected: " .. found)
  return true
end

-- Removes the parts in the order that lets each step succeed: the installer package first
-- (its own uninstallation may still work), then the services and their processes, pending
-- operations, folders, keys and atoms. Every step is tried; true when all succeeded.
function lib_common.RemoveInstallation(parts)
  local ok = true
  if parts.upgradeCode then
    if Msi.DetectUpgradeCode(parts.upgradeCode) and
       not Msi.UninstallProduct(parts.upgradeCode) then
      Log.Warning("The installer package did not uninstall; cleaning its registration")
    end
    if not Msi.CleanupRegistryUpgradeCode(parts.upgradeCode) then ok = false end
  end
  ok = lib_common.CleanServices(parts.services or {}, parts.installFolder) and ok
  for _, folder in ipairs(parts.pendingFolders or {}) do
    lib_common.DropPendingOperations(folder)
  end
  ok = lib_common.RemoveFolders(parts.folders or {}) and ok
  for _, relative in ipairs(parts.userFolders or {}) do
    local folders = lib_common.UserFolders(relative)
    ok = lib_common.RemoveFolders(folders) and ok
    for _, folder in ipairs(folders) do
      lib_common.RemoveFolderIfEmpty(lib_common.FolderOf(folder))
    end
  end
  ok = lib_common.DeleteBranches(parts.keys64 or {}, {KEY_WOW64_64KEY}) and ok
  ok = lib_common.DeleteBranches(parts.keys32 or {}, {KEY_WOW64_32KEY}) and ok
  for _, atom in ipairs(parts.atoms or {}) do
    if Atom.GlobalExists(atom) then Atom.GlobalDelete(atom) end
  end
  return ok
end

-- A part that several products share, with one subkey per product under <key>\Clients:
-- drops the client's subkey and removes the part's own items (lib_common.RemoveInstallation)
-- when no client is left.
function lib_common.ReleaseSharedPart(key, client, parts)
  local clients = key .. "\\Clients"
  local ok = lib_common.DeleteBranches({clients .. "\\" .. client}, {KEY_WOW64_64KEY})
  if not Reg.IsBranchEmpty(HKLM, clients, KEY_WOW64_64KEY) then
    Log.Info("HKLM\\" .. key .. " is still used by another product, kept")
    return ok
  end
  return lib_common.RemoveInstallation(parts) and ok
end

-- The end of a product's removal: the shared places left empty go, and a removal that did not
-- succeed marks the run failed. Returns ok.
function lib_common.FinishRemoval(id, ok)
  lib_common.RemoveSharedIfEmpty()
  if not ok then Meta.SetFailed(id .. " could not be removed completely") end
  return ok
end

-- The shared Korvane folders and keys, each removed only when nothing is left in it.
function lib_common.RemoveSharedIfEmpty()
  lib_common.RemoveFolderIfEmpty(lib_common.ProgramFolder())
  lib_common.RemoveFolderIfEmpty(lib_common.ProgramFolderX86())
  lib_common.RemoveFolderIfEmpty(FileSystem.MakePath(lib_common.DataFolder(), "Log"))
  lib_common.RemoveFolderIfEmpty(lib_common.DataFolder())
  for _, view in ipairs({KEY_WOW64_64KEY, KEY_WOW64_32KEY}) do
    for _, key in ipairs({"SOFTWARE\\Korvane\\Components", "SOFTWARE\\Korvane"}) do
      if Reg.BranchExists(HKLM, key, view) then Reg.DeleteBranchIfEmpty(HKLM, key, view) end
    end
  end
end

return lib_common
