; The Windows installer: a per-user install (no administrator rights) into
; %LOCALAPPDATA%\Programs\Kinetra, a Start-menu entry and an uninstaller, listed under the
; user's installed programs. makensis -DVERSION=x.y.z -DSTAGE=folder -DOUTFILE=setup.exe
; A 64-bit installer, as the program: it runs where the program runs (also under a 64-bit-only Wine).
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma

!define NAME "Kinetra"
!define PRODUCT "Ondrel Kinetra Entertainment"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kinetra"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${NAME}"
InstallDirRegKey HKCU "Software\Ondrel Corporation\Kinetra Entertainment" "InstallDir"
ShowInstDetails nevershow
ShowUninstDetails nevershow

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Kinetra"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateDirectory "$SMPROGRAMS\${NAME}"
  CreateShortcut "$SMPROGRAMS\${NAME}\${PRODUCT}.lnk" "$INSTDIR\kinetra.exe"
  CreateShortcut "$SMPROGRAMS\${NAME}\Kinetra Help.lnk" "$INSTDIR\Vibrel.chm"
  CreateShortcut "$SMPROGRAMS\${NAME}\Uninstall Kinetra.lnk" "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "Software\Ondrel Corporation\Kinetra Entertainment" "InstallDir" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Ondrel Corporation"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kinetra.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The program's files and entries go; the user's settings stay.
Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\${NAME}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${NAME}\Kinetra Help.lnk"
  Delete "$SMPROGRAMS\${NAME}\Uninstall Kinetra.lnk"
  RMDir "$SMPROGRAMS\${NAME}"
  Delete "$INSTDIR\kinetra.exe"
  Delete "$INSTDIR\kinetra-trace.exe"
  Delete "$INSTDIR\test.wav"
  Delete "$INSTDIR\Vibrel.chm"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegValue HKCU "Software\Ondrel Corporation\Kinetra Entertainment" "InstallDir"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegValue HKCU "Software\Microsoft\Windows\CurrentVersion\Run" "Kinetra"
SectionEnd
