# Removes the self-signed certificates of a subject from the machine's root store.
param([Parameter(Mandatory = $true)][string]$Subject)
$certificates = Get-ChildItem -Path Cert:\LocalMachine\Root |
    Where-Object { $_.Subject -eq $Subject -and $_.Issuer -eq $Subject }
foreach ($certificate in $certificates) {
    Remove-Item -Path $certificate.PSPath
    Write-Output ("Removed certificate " + $certificate.Thumbprint)
}
exit 0
