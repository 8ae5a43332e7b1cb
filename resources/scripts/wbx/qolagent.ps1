# Unregisters the WBX quarantine agent from the machine's scheduled tasks.
param([switch]$Unregister)
if ($Unregister) {
    $task = Get-ScheduledTask -TaskName 'Korvane WBX QOL Agent' -ErrorAction SilentlyContinue
    if ($task) {
        Unregister-ScheduledTask -TaskName 'Korvane WBX QOL Agent' -Confirm:$false
        Write-Output 'QOL agent task removed'
    } else {
        Write-Output 'QOL agent task not present'
    }
}
exit 0
