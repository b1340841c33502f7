; OrvQ's Windows installer, made by the build target orvq_installer:
;   makensis -DVERSION=x.y.z -DSTAGE=<installed folder> -DOUTFILE=<setup.exe> orvq.nsi
; Per user, without administrator rights: the program goes to
; %LOCALAPPDATA%\Programs\OrvQ; its settings (HKCU\Software\Zantrel), ledger
; and logs (%LOCALAPPDATA%\OrvQ) are the user's and stay on uninstall.
Unicode true
; A 64-bit installer for a 64-bit program (also what 64-bit-only Wine runs).
Target amd64-unicode
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\OrvQ"

Name "Orvane QB Export ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\OrvQ"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "OrvQ"
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    File /r "${STAGE}/*"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    CreateDirectory "$SMPROGRAMS\OrvQ"
    CreateShortcut "$SMPROGRAMS\OrvQ\Orvane QB Export.lnk" "$INSTDIR\orvq.exe"
    CreateShortcut "$SMPROGRAMS\OrvQ\Uninstall Orvane QB Export.lnk" "$INSTDIR\Uninstall.exe"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Orvane QB Export"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Zantrel"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext current
    ; Only the program's folder: what the user made lives elsewhere.
    RMDir /r "$INSTDIR"
    Delete "$SMPROGRAMS\OrvQ\Orvane QB Export.lnk"
    Delete "$SMPROGRAMS\OrvQ\Uninstall Orvane QB Export.lnk"
    RMDir "$SMPROGRAMS\OrvQ"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
