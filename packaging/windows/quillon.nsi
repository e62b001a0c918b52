; The Windows installer of Quillon Converter, made on Debian with NSIS's makensis (make
; windows-installer). The build names what goes in:
;   makensis -DVERSION=<version> -DEXE=<quillon.exe> -DGUIDE=<quillon.pdf>
;            -DICON=<quillon.ico> -DOUTFILE=<setup.exe> quillon.nsi
; A 64-bit installer: Debian's default stub is 32-bit, and Debian's Wine, which the tests install
; it under, runs 64-bit programs only.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "LogicLib.nsh"

!define PRODUCT "Quillon Converter"
!define CLASS "Quillon.Project"
!define EXT ".batch-quillon"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QuillonConverter"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
; Program Files and the machine's file types: for every user of the machine.
RequestExecutionLevel admin
ManifestDPIAware true
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright 2024-2026 Quillon Converter developers"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
; Done is done: the pages close when the work is over (an install the user watches ends in the
; browser with the installation report).
AutoCloseWindow true
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Tells Explorer that file types changed, so the project icon shows at once.
!macro AssociationsChanged
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
!macroend

Section "Install"
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File "/oname=quillon.exe" "${EXE}"
    ; Help in the window opens the guide beside the program.
    File "/oname=quillon.pdf" "${GUIDE}"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\quillon.exe" "" \
        "$INSTDIR\quillon.exe" 0 SW_SHOWNORMAL "" "Converts presentations into text files"
    CreateShortCut "$SMPROGRAMS\${PRODUCT} Guide.lnk" "$INSTDIR\quillon.pdf"

    ; The projects' file type, with the project icon of the program (its second icon).
    WriteRegStr HKLM "Software\Classes\${EXT}" "" "${CLASS}"
    WriteRegStr HKLM "Software\Classes\${CLASS}" "" "Quillon Project"
    WriteRegStr HKLM "Software\Classes\${CLASS}\DefaultIcon" "" '"$INSTDIR\quillon.exe",1'
    WriteRegStr HKLM "Software\Classes\${CLASS}\shell\open\command" "" \
        '"$INSTDIR\quillon.exe" "%1"'
    !insertmacro AssociationsChanged

    ; The entry of Installed apps (Programs and Features).
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Quillon Converter developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\quillon.exe",0'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    SectionGetSize 0 $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

    ; The installation report, as the program's "I" switch sends it: only for an install the
    ; user watches. A silent one (/S) opens no browser.
    ${IfNot} ${Silent}
        ExecWait '"$INSTDIR\quillon.exe" -I'
    ${EndIf}
SectionEnd

Section "Uninstall"
    SetAutoClose true
    SetShellVarContext all
    ; The removal report first, while the program is still there; never for a silent removal.
    ${IfNot} ${Silent}
        ExecWait '"$INSTDIR\quillon.exe" -U'
    ${EndIf}

    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\${PRODUCT} Guide.lnk"
    ; The type is removed only while it is still ours.
    ReadRegStr $0 HKLM "Software\Classes\${EXT}" ""
    ${If} $0 == "${CLASS}"
        DeleteRegKey HKLM "Software\Classes\${EXT}"
    ${EndIf}
    DeleteRegKey HKLM "Software\Classes\${CLASS}"
    !insertmacro AssociationsChanged
    DeleteRegKey HKLM "${UNINSTALL_KEY}"

    ; What the installer put there; the files the program keeps for each user (the default
    ; project, the recent-project list, the usage store) are in that user's
    ; %LOCALAPPDATA%\quillon and stay, as a removed package leaves a user's files on Linux.
    Delete "$INSTDIR\quillon.exe"
    Delete "$INSTDIR\quillon.pdf"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
SectionEnd
