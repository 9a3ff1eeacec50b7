; The Windows installer of the portable app folder.
;   makensis -DAPP_DIR=<installed app folder> -DVERSION=<x.y.z> -DOUT_FILE=<setup.exe>
;            -DCOPYRIGHT=<notice> [-DSIGN=<signing command>] ORVA.nsi
; Per user, into the user's own programs folder: ORVA writes Start\ and
; Extensions\ beside itself, which Program Files would not allow.

; ORVA is a 64-bit program: so is its installer.
Target amd64-unicode
!include "MUI2.nsh"
!include "LogicLib.nsh"

!ifndef APP_DIR | VERSION | OUT_FILE | COPYRIGHT
  !error "APP_DIR, VERSION, OUT_FILE and COPYRIGHT must be defined"
!endif

; SIGN <file> signs a program in place (scripts/sign-windows.sh). The
; uninstaller can only be signed here, as makensis writes it, before it goes
; into the installer; the installer is signed here too, so that makensis
; either yields it signed or fails.
!ifdef SIGN
  !uninstfinalize '"${SIGN}" "%1"' = 0
  !finalize '"${SIGN}" "%1"' = 0
!endif

Name "ORVA ${VERSION}"
OutFile "${OUT_FILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\ORVA"
InstallDirRegKey HKCU "Software\ORVA" "InstallDir"
SetCompressor /SOLID lzma
; The app folder holds three copies of Qt's DLLs, some 20 MB apart: a
; dictionary that spans them stores each once (installing needs 64 MB more).
SetCompressorDictSize 64

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ORVA"
; A double-clicked .etipack opens in packsetup, which asks before it installs.
!define PROGID "ORVA.etipack"
!define CLASSES "Software\Classes"
; Explorer caches associations until told they changed (SHCNE_ASSOCCHANGED).
!define NOTIFY_ASSOCIATIONS "System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'"

; makensis works in this file's folder.
!insertmacro MUI_PAGE_LICENSE "..\..\LICENSE"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; The installer's own properties in Explorer.
VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "ORVA"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "ORVA 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "${COPYRIGHT}"

Section "ORVA"
  SetOutPath "$INSTDIR"
  File /r /x "Start" "${APP_DIR}\*.*"
  ; The start lists are the user's: an upgrade keeps them.
  SetOutPath "$INSTDIR\Start"
  SetOverwrite off
  File "${APP_DIR}\Start\*.etl"
  SetOverwrite on

  ; The shortcut's working folder is the install folder, which ORVA
  ; resolves everything against.
  SetOutPath "$INSTDIR"
  CreateShortCut "$SMPROGRAMS\ORVA.lnk" "$INSTDIR\ORVA.exe" "" "$INSTDIR\ORVA.exe" 0
  ; The listeners' logs (ORVA writes them there): made now, so the shortcut leads somewhere.
  CreateDirectory "$INSTDIR\Logs"
  CreateShortCut "$SMPROGRAMS\ORVA 日志.lnk" "$INSTDIR\Logs"

  ; Per user, like the install: Explorer runs packsetup in the pack's
  ; folder, and packsetup finds its app folder from where it lies.
  WriteRegStr HKCU "${CLASSES}\.etipack" "" "${PROGID}"
  WriteRegStr HKCU "${CLASSES}\${PROGID}" "" "ORVA 扩展安装包"
  WriteRegStr HKCU "${CLASSES}\${PROGID}\DefaultIcon" "" '"$INSTDIR\Extensions\00000001\packsetup.exe",0'
  WriteRegStr HKCU "${CLASSES}\${PROGID}\shell\open\command" "" \
    '"$INSTDIR\Extensions\00000001\packsetup.exe" "%1"'
  ${NOTIFY_ASSOCIATIONS}

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKCU "Software\ORVA" "InstallDir" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "ORVA"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\ORVA.lnk"
  Delete "$SMPROGRAMS\ORVA 日志.lnk"
  ; .etipack is left alone when another program has taken it since.
  DeleteRegKey HKCU "${CLASSES}\${PROGID}"
  ReadRegStr $0 HKCU "${CLASSES}\.etipack" ""
  ${If} $0 == "${PROGID}"
    DeleteRegValue HKCU "${CLASSES}\.etipack" ""
    DeleteRegKey /ifempty HKCU "${CLASSES}\.etipack"
  ${EndIf}
  ${NOTIFY_ASSOCIATIONS}
  ; ORVA's own files, as the installer put them there.
  Delete "$INSTDIR\ORVA.exe"
  Delete "$INSTDIR\etipack.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  RMDir /r "$INSTDIR\licenses"
  Delete "$INSTDIR\*.dll"
  RMDir /r "$INSTDIR\platforms"
  Delete "$INSTDIR\Extensions\chainlaunch.exe"
  Delete "$INSTDIR\Extensions\*.dll"
  RMDir /r "$INSTDIR\Extensions\platforms"
  RMDir /r "$INSTDIR\Extensions\00000001"
  RMDir /r "$INSTDIR\Packs"
  RMDir /r "$INSTDIR\Logs"

  ; What the user installed and listed is removed only on a Yes; silent
  ; uninstalls keep it.
  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
    "是否同时删除已安装的扩展和启动列表？$\r$\n（$INSTDIR\Extensions 和 $INSTDIR\Start）" \
    /SD IDNO IDNO keep
  RMDir /r "$INSTDIR\Extensions"
  RMDir /r "$INSTDIR\Start"
keep:
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR\Extensions"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "Software\ORVA"
SectionEnd
