; The Windows installer of the Tarvo Configuration Updater, built on Linux
; with makensis (the windows-installers target):
;
;   makensis -DVERSION=1.0.1 -DPUBLISHER=... -DSTAGE=<release folder>
;            -DFILES=<files.nsh> -DOUTFILE=<setup.exe> [-DSERVICE_PACKAGE] installer.nsi
;
; It installs for all users into Program Files, with Start-menu entries for
; the tool and its demo (the simulated controller), an entry in Add/Remove
; Programs, and an inbound firewall rule for the TFTP server on UDP port
; 69; /S installs silently.
;
; The tool starts an "uninst.exe" it finds beside itself whenever it closes.
; The ordinary installer's uninstaller is therefore named otherwise, so the
; tool stays installed. Built with SERVICE_PACKAGE, the same script makes the
; one-time service package: its uninstaller is uninst.exe, so closing the
; tool offers to remove it again.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include "MUI2.nsh"
!include "x64.nsh"

!define TITLE "Tarvo Configuration Updater"
!define PROGRAM "tarvo-config-updater.exe"
!define SERVER "OpenTFTPServerMT.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${TITLE}"
!define FIREWALL_RULE "${TITLE} TFTP server"
!ifdef SERVICE_PACKAGE
  !define UNINSTALLER "uninst.exe"
  !define SHOWN_NAME "${TITLE} (service package)"
!else
  !define UNINSTALLER "Uninstall.exe"
  !define SHOWN_NAME "${TITLE}"
!endif

Name "${SHOWN_NAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${TITLE}"
BrandingText "${TITLE} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${TITLE}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${SHOWN_NAME} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${STAGE}\${ICON}"
!define MUI_UNICON "${STAGE}\${ICON}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${PROGRAM}"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "${TITLE} needs 64-bit Windows."
    Abort
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  ; The programs, the Qt and MinGW DLLs and plugins, the sample cards.
  !include "${FILES}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateDirectory "$SMPROGRAMS\${TITLE}"
  CreateShortcut "$SMPROGRAMS\${TITLE}\${TITLE}.lnk" "$INSTDIR\${PROGRAM}"
  ; The demo: the simulated controller with its control window on
  ; 127.0.0.1, for the tool to back up and restore.
  CreateShortcut "$SMPROGRAMS\${TITLE}\${TITLE} demo.lnk" "$INSTDIR\controller-sim.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${SHOWN_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}

  ; The controllers' tftp clients reach the server on UDP port 69.
  nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="${FIREWALL_RULE}"'
  Pop $0
  nsExec::ExecToLog 'netsh advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow program="$INSTDIR\${SERVER}" protocol=UDP localport=69 enable=yes'
  Pop $0
  ${If} $0 != 0
    DetailPrint "The firewall rule for UDP port 69 could not be added ($0): see the guide."
  ${EndIf}
SectionEnd

Section "Uninstall"
  nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="${FIREWALL_RULE}"'
  Pop $0
  Delete "$SMPROGRAMS\${TITLE}\${TITLE}.lnk"
  Delete "$SMPROGRAMS\${TITLE}\${TITLE} demo.lnk"
  RMDir "$SMPROGRAMS\${TITLE}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; Exactly what was installed; the archives in the user's application
  ; data stay.
  !include "${UNFILES}"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
SectionEnd
