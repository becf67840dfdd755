; The Windows installer: both programs and the README under Program Files, a Start menu
; entry, and an uninstaller. makensis -DVERSION=x.y.z -DSOURCE=folder -DOUTFILE=setup.exe
; 64-bit, as the programs are (and so that Wine without 32-bit support runs it too).
Target amd64-unicode
Name "vemor ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\vemor"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "vemor"
    SetOutPath "$INSTDIR"
    File "${SOURCE}\vemor.exe"
    File "${SOURCE}\vemor-decode.exe"
    File "${SOURCE}\README.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortCut "$SMPROGRAMS\vemor.lnk" "$INSTDIR\vemor.exe" "" "" 0 SW_SHOWNORMAL "" \
        "Live data monitor and raw logger for the engine control unit"
    WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\vemor" \
        "DisplayName" "vemor ${VERSION}"
    WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\vemor" \
        "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\vemor" \
        "UninstallString" '"$INSTDIR\uninstall.exe"'
SectionEnd

Section "Uninstall"
    Delete "$SMPROGRAMS\vemor.lnk"
    Delete "$INSTDIR\vemor.exe"
    Delete "$INSTDIR\vemor-decode.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\vemor"
SectionEnd
