; The Windows installer: both programs, the README and the licence under Program Files, a
; Start menu entry for all users, and an uninstaller that removes the program and never a
; capture. makensis -DVERSION=x.y.z -DSOURCE=folder -DOUTFILE=setup.exe
; 64-bit, as the programs are (and so that Wine without 32-bit support runs it too).
Target amd64-unicode
Unicode true
Name "vemor ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\vemor"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include "MUI2.nsh"

; A standard user cannot write under Program Files: the Start menu entry has vemor record
; into the user's own Documents\Vemor.
!define CAPTURES_TEXT "Started from the Start menu, vemor records its captures (TMP1.$$$$$$, TMP2.$$$$$$ ...) in the folder Vemor in your Documents, which it makes when missing. Uninstalling removes the program, never a capture."

!define MUI_FINISHPAGE_TEXT "${CAPTURES_TEXT}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\vemor.exe"
!define MUI_FINISHPAGE_RUN_PARAMETERS "--in-documents"
!insertmacro MUI_PAGE_LICENSE "${SOURCE}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "vemor"
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File "${SOURCE}\vemor.exe"
    File "${SOURCE}\vemor-decode.exe"
    File "${SOURCE}\README.txt"
    File "${SOURCE}\LICENSE.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortCut "$SMPROGRAMS\vemor.lnk" "$INSTDIR\vemor.exe" "--in-documents" "" 0 \
        SW_SHOWNORMAL "" "Live data monitor and raw logger for the engine control unit"
    WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\vemor" \
        "DisplayName" "vemor ${VERSION}"
    WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\vemor" \
        "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\vemor" \
        "UninstallString" '"$INSTDIR\uninstall.exe"'
SectionEnd

; Only the files the installer put there: captures, wherever they were made, stay.
Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\vemor.lnk"
    Delete "$INSTDIR\vemor.exe"
    Delete "$INSTDIR\vemor-decode.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\vemor"
SectionEnd
