; The Windows installer: the programs, Qt's and MinGW's DLLs, Qt's plugins and the manual into
; Program Files\KXLINK, a Start menu entry and an entry under the installed programs.
; makensis -DVERSION=x.y.z.w -DSOURCE=folder -DFILELIST=files.nsh -DOUTFILE=setup.exe kxlink.nsi
; (scripts/windows-package.sh writes FILELIST: a Delete for every file of SOURCE.)
Unicode true
Target amd64-unicode
; zlib, not lzma: a sixth larger, and made in a tenth of the time by the test command.
SetCompressor zlib

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KXLINK"

Name "KXLINK ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\KXLINK"
RequestExecutionLevel admin
ShowInstDetails show
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "KXLINK"
VIAddVersionKey "FileDescription" "KXLINK setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "2026 Morvell Scales"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "KXLINK"
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File /r "${SOURCE}/*"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateDirectory "$SMPROGRAMS\KXLINK"
    CreateShortcut "$SMPROGRAMS\KXLINK\KXLINK.lnk" "$INSTDIR\kxlink.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "KXLINK"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Morvell Scales"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kxlink.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\KXLINK\KXLINK.lnk"
    RMDir "$SMPROGRAMS\KXLINK"
    ; Only what the installer put there: a folder the user chose may hold more, and the files
    ; the program keeps (Port.Ini, SAVED, LOGS) are the user's.
    !include "${FILELIST}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
