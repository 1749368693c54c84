# Intune remediation, remediation script: runs Quillmark once for the
# logged-on user (same settings as Detect-Quillmark.ps1: the user's
# credentials) and reports the outcome the run wrote into its status.
# The exe is where the MSI installs it; for a configuration on a share, name
# it in $arguments.
$arguments = @()   # e.g. @('/INI:\\server\netlogon\quillmark\quillmark.ini')

$exe = @(${env:ProgramFiles(x86)}, $env:ProgramFiles) | Where-Object { $_ } |
    ForEach-Object { Join-Path $_ 'Quillmark\quillmark.exe' } |
    Where-Object { Test-Path $_ } | Select-Object -First 1
if (-not $exe) {
    Write-Output 'Quillmark: quillmark.exe ist nicht installiert'
    exit 1
}
if ($arguments.Count -gt 0) {
    $run = Start-Process -FilePath $exe -ArgumentList $arguments -Wait -PassThru
} else {
    $run = Start-Process -FilePath $exe -Wait -PassThru
}
$status = Get-ItemProperty -Path 'HKCU:\Software\Quillmark' -ErrorAction SilentlyContinue
Write-Output "Quillmark: Exit-Code $($run.ExitCode), $($status.SignaturesWritten) Signaturen $($status.LastError)"
exit $run.ExitCode
