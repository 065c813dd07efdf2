# Runs setup-check.exe natively on Windows against the setup.exe beside it,
# keeps its lines in OUTPUT, and fails when the check fails, or when a link
# line did not pass: a hosted runner is an administrator, so it can make a
# junction and a folder symbolic link, and NOT HERE there means the check
# itself went wrong. On a user's machine NOT HERE stays what it is.
#
#   pwsh scripts/windows-self-check.ps1 FOLDER OUTPUT
param(
  [Parameter(Mandatory)] [string] $Folder,
  [Parameter(Mandatory)] [string] $Output
)

$Folder = (Resolve-Path -Path $Folder).Path
New-Item -ItemType Directory -Force -Path (Split-Path -Parent $Output) | Out-Null
# Into a file, so that the check's UTF-8 bytes land there as they are.
$check = Start-Process -FilePath (Join-Path $Folder 'setup-check.exe') `
  -ArgumentList ('"' + (Join-Path $Folder 'setup.exe') + '"') `
  -RedirectStandardOutput $Output -NoNewWindow -Wait -PassThru
$lines = Get-Content -Encoding utf8 -Path $Output
$lines | Write-Host

$failed = @()
if ($check.ExitCode -ne 0) { $failed += "setup-check.exe ended with $($check.ExitCode)" }
foreach ($link in 'folder junction', 'folder symbolic link') {
  if ($lines -notcontains "PASS $link") { $failed += "no line PASS $link" }
}
if ($failed.Count -gt 0) {
  $failed | ForEach-Object { Write-Host "::error::$_ ($Folder)" }
  exit 1
}
