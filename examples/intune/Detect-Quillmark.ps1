# Intune remediation, detection script. Settings in Intune: "Run this script
# using the logged-on credentials: Yes" (the status is the user's own, below
# HKEY_CURRENT_USER), "Run script in 64-bit PowerShell: Yes".
# Exit 1 (Intune then runs Remediate-Quillmark.ps1) when Quillmark has never
# written a status for this user (or the configuration lacks RunStatus=1), when
# its last run did not finish (LastExitCode 1: an error, 2: stopped at a
# prompt), or when its last run is older than 24 hours; exit 0 otherwise.
$key = 'HKCU:\Software\Quillmark'
$maxAge = New-TimeSpan -Hours 24

$status = Get-ItemProperty -Path $key -ErrorAction SilentlyContinue
if ($null -eq $status -or [string]::IsNullOrEmpty($status.LastRun)) {
    Write-Output 'Quillmark: kein Status (noch nie gelaufen, oder RunStatus=1 fehlt)'
    exit 1
}
if ($status.LastExitCode -ne 0) {
    Write-Output "Quillmark: letzter Lauf am $($status.LastRun) mit Exit-Code $($status.LastExitCode): $($status.LastError)"
    exit 1
}
# LastRun is the local time of the run, as 2026-05-04T07:30:00.
$lastRun = [datetime]::ParseExact($status.LastRun, "yyyy-MM-dd'T'HH:mm:ss",
    [Globalization.CultureInfo]::InvariantCulture)
if ((Get-Date) - $lastRun -gt $maxAge) {
    Write-Output "Quillmark: letzter Lauf am $($status.LastRun), vor mehr als 24 Stunden"
    exit 1
}
Write-Output "Quillmark $($status.Version): $($status.SignaturesWritten) Signaturen am $($status.LastRun)"
exit 0
