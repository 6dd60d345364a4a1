; The Windows installer of stb-downloader, built with makensis (packaging/windows/build-installer.sh):
;
;   makensis -DVERSION=3.3.0 -DCONSOLE_EXE=build-win/bin/stb-downloader.exe
;            -DWINDOW_EXE=build-win/bin/stb-downloaderw.exe -DGUIDE=operator-guide.html
;            -DOUTFILE=stb-downloader-3.3.0-win64-setup.exe stb-downloader.nsi
;
; It installs both programs and the operator guide under Program Files, makes
; a working folder the operator can write (Start in of the Start-menu shortcut:
; the tool reads inc\*.inc and the images relative to it), and registers an
; uninstaller. Both run silently with /S. An install into another folder
; than the registered one removes that one first, so that one install is
; ever registered and none is left behind without its entry.
;
; The uninstaller, started as `uninstall.exe /S`, copies itself away, starts
; the copy and returns 0 before anything is done. Scripts that need its
; answer run it in place, where it waits and reports:
;   uninstall.exe /S _?=C:\Program Files\stb-downloader
; (0 removed, 32 the program runs and nothing was touched). In place it
; cannot delete its own file: the caller deletes it and the folder after.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true
RequestExecutionLevel admin

!ifndef VERSION | CONSOLE_EXE | WINDOW_EXE | GUIDE | OUTFILE
  !error "Give -DVERSION=x.y.z -DCONSOLE_EXE=... -DWINDOW_EXE=... -DGUIDE=... -DOUTFILE=... on the makensis command line"
!endif
; A missing program must stop the build here, not yield an installer that
; lacks it.
!if ! /FileExists "${CONSOLE_EXE}"
  !error "${CONSOLE_EXE} (the console program) is missing: build the Windows build first"
!endif
!if ! /FileExists "${WINDOW_EXE}"
  !error "${WINDOW_EXE} (the window without a console) is missing: build the Windows build first"
!endif
!if ! /FileExists "${GUIDE}"
  !error "${GUIDE} (the operator guide) is missing"
!endif

!define PRODUCT "stb-downloader"
!define WINDOW_NAME "STB Serial DownLoader"
; The production station: box after box on every serial port, in a window.
!define STATION_NAME "stb-downloader station"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; Under Public Documents: every user of the PC may write there, Explorer shows
; it, and it is no part of the install folder, which only administrators may
; change and which the uninstaller empties.
!define WORKDIR "$DOCUMENTS\${PRODUCT}"
!define MENUDIR "$SMPROGRAMS\${PRODUCT}"

Name "${WINDOW_NAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
; A new version goes where the last one went.
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${WINDOW_NAME} ${VERSION} Setup"
VIAddVersionKey "LegalCopyright" "stb-downloader developers"

!include MUI2.nsh
!include LogicLib.nsh

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "Start ${WINDOW_NAME} from the Start menu. Put the include files in$\r$\n${WORKDIR}\inc$\r$\nand the images beside them as the include files name them."
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\operator-guide.html"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Show the operator guide"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Program Files, the machine's Start menu and the uninstall key need an
; administrator; without one the installer says so instead of failing half-way.
!macro RequireAdmin
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_ICONSTOP "Administrator rights are needed: run this as an administrator." /SD IDOK
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
!macroend

; A program that runs cannot be replaced or removed. Opening it for writing
; fails then; asking before anything is changed leaves no half-done install.
!macro WaitUntilClosed FILE
  ${Do}
    ${IfNot} ${FileExists} "${FILE}"
      ${Break}
    ${EndIf}
    ClearErrors
    FileOpen $0 "${FILE}" a
    ${IfNot} ${Errors}
      FileClose $0
      ${Break}
    ${EndIf}
    ${IfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${FILE} is in use.$\r$\nClose ${WINDOW_NAME} and stb-downloader, then press Retry." /SD IDCANCEL IDRETRY`
      SetErrorLevel 32 ; ERROR_SHARING_VIOLATION
      Quit
    ${EndIf}
  ${Loop}
!macroend

Function .onInit
  SetShellVarContext all
  !insertmacro RequireAdmin
FunctionEnd

Function un.onInit
  SetShellVarContext all
  !insertmacro RequireAdmin
FunctionEnd

; An install registered in another folder is removed by its own uninstaller,
; in place so that its answer is known, before anything of this one is
; written: if its program runs, this install stops with nothing changed.
!macro RemoveInstallElsewhere
  ReadRegStr $1 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $1 != ""
  ${AndIf} $1 != $INSTDIR
  ${AndIf} ${FileExists} "$1\uninstall.exe"
    DetailPrint "Removing the install in $1"
    ClearErrors
    ExecWait '"$1\uninstall.exe" /S _?=$1' $0
    ${If} ${Errors}
    ${OrIf} $0 != 0
      ${IfThen} $0 == "" ${|} StrCpy $0 1 ${|}
      MessageBox MB_ICONSTOP "The install in $1 could not be removed (status $0).$\r$\nClose ${WINDOW_NAME} and stb-downloader, then try again." /SD IDOK
      SetErrorLevel $0
      Quit
    ${EndIf}
    ; What the uninstaller run in place leaves: itself and its folder.
    Delete "$1\uninstall.exe"
    RMDir "$1"
  ${EndIf}
!macroend

Section "stb-downloader" SecMain
  SectionIn RO
  !insertmacro WaitUntilClosed "$INSTDIR\stb-downloader.exe"
  !insertmacro WaitUntilClosed "$INSTDIR\stb-downloaderw.exe"
  !insertmacro RemoveInstallElsewhere

  SetOutPath "$INSTDIR"
  File "/oname=stb-downloader.exe" "${CONSOLE_EXE}"
  File "/oname=stb-downloaderw.exe" "${WINDOW_EXE}"
  File "/oname=operator-guide.html" "${GUIDE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The working folder: the shortcut starts the window in it (a shortcut
  ; takes the output path as its Start in), so inc\ is looked for there.
  CreateDirectory "${WORKDIR}\inc"
  SetOutPath "${WORKDIR}"
  CreateDirectory "${MENUDIR}"
  CreateShortcut "${MENUDIR}\${WINDOW_NAME}.lnk" "$INSTDIR\stb-downloaderw.exe" "" \
    "$INSTDIR\stb-downloaderw.exe" 0 SW_SHOWNORMAL "" "Upgrade the software of a set-top box over a serial line"
  ; Every COM port the PC has, rescanned as adapters come and go; the code
  ; is typed into the window, its logs and report go under LOCALAPPDATA.
  CreateShortcut "${MENUDIR}\${STATION_NAME}.lnk" "$INSTDIR\stb-downloaderw.exe" "--station --window --port all" \
    "$INSTDIR\stb-downloaderw.exe" 0 SW_SHOWNORMAL "" "Upgrade box after box on every serial port"
  CreateShortcut "${MENUDIR}\Operator guide.lnk" "$INSTDIR\operator-guide.html"
  CreateShortcut "${MENUDIR}\Include files and images.lnk" "${WORKDIR}"
  SetOutPath "$INSTDIR"

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "stb-downloader developers"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\stb-downloaderw.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  SectionGetSize ${SecMain} $0
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  ; The programs first: if one still runs, nothing else is touched yet.
  !insertmacro WaitUntilClosed "$INSTDIR\stb-downloader.exe"
  !insertmacro WaitUntilClosed "$INSTDIR\stb-downloaderw.exe"
  Delete "$INSTDIR\stb-downloader.exe"
  Delete "$INSTDIR\stb-downloaderw.exe"
  Delete "$INSTDIR\operator-guide.html"

  Delete "${MENUDIR}\${WINDOW_NAME}.lnk"
  Delete "${MENUDIR}\${STATION_NAME}.lnk"
  Delete "${MENUDIR}\Operator guide.lnk"
  Delete "${MENUDIR}\Include files and images.lnk"
  RMDir "${MENUDIR}"
  DeleteRegKey HKLM "${UNINST_KEY}"

  ; Only what was installed goes: a folder that holds anything else stays.
  ; Run in place (_?=), the uninstaller is this very file and cannot go; it
  ; is left to whoever started it. Not scheduled for the next restart: an
  ; install into the same folder before then would lose its uninstaller.
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  ; The include files and images are the operator's: the working folder goes
  ; only when it is empty.
  RMDir "${WORKDIR}\inc"
  RMDir "${WORKDIR}"
SectionEnd
