; Tamsel installer, one script for both architectures:
;
;   makensis -DARCH=x64|x86 -DSRCDIR=<build tree> -DVERSION=1.0.1.9 \
;            -DOUTFILE=<setup.exe> [-DAPP_FOLDER_NAME=<name>] packaging/tamsel.nsi
;
; The build tree holds Tamsel.exe, its skin folder "pic" and "User Manual.pdf".
; Silent use: setup.exe /S [/NOAUTOSTART] [/D=folder]; uninstall.exe /S.

!macro Require NAME
  !ifndef ${NAME}
    !error "define ARCH (x64 or x86), SRCDIR, VERSION and OUTFILE (missing: ${NAME})"
  !endif
!macroend
!insertmacro Require ARCH
!insertmacro Require SRCDIR
!insertmacro Require VERSION
!insertmacro Require OUTFILE
; The program reads this value to name its settings folder under
; %APPDATA%. Its own fallback when the value is missing is the same name,
; so installed and portable copies share their settings.
!ifndef APP_FOLDER_NAME
  !define APP_FOLDER_NAME "Corvane Varnex"
!endif

Unicode true
!if "${ARCH}" == "x64"
  Target amd64-unicode
!else if "${ARCH}" == "x86"
  Target x86-unicode
!else
  !error "ARCH must be x64 or x86, not ${ARCH}"
!endif

!if ! /FileExists "${SRCDIR}/pic"
  !error "no skin folder ${SRCDIR}/pic: build the skin (pic) first"
!endif

!define PRODUCT "Tamsel"
!define PUBLISHER "Varnex"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VarnexApplication"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define MAIN_CLASS "Corvane_Camera_Class"
!define UM_QUIT 1194 ; WM_USER+170: the program saves its settings and ends
!define QUIT_WAIT_MS 15000

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh
!include Sections.nsh

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
!if "${ARCH}" == "x64"
  InstallDir "$PROGRAMFILES64\${PRODUCT}"
!else
  InstallDir "$PROGRAMFILES\${PRODUCT}"
!endif
; A new version goes where the previous one is.
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show
BrandingText "${PRODUCT} ${VERSION} (${ARCH})"

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} (${ARCH}) setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\Tamsel.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\User Manual.pdf"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Open the user manual"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Asks a running copy to end (it saves its settings on the way) and waits,
; bounded, for its process to be gone, so its files can be replaced or
; removed. The same code serves the installer and the uninstaller.
!macro CloseRunningCopy
  ${Do}
    FindWindow $0 "${MAIN_CLASS}"
    ${If} $0 = 0
      ${Break}
    ${EndIf}
    DetailPrint "Closing the running ${PRODUCT}"
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2' ; SYNCHRONIZE
    System::Call 'user32::PostMessageW(p r0, i ${UM_QUIT}, p 0, p 0) i'
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i ${QUIT_WAIT_MS}) i .r3'
      System::Call 'kernel32::CloseHandle(p r2)'
    ${Else}
      ; No handle to wait on: watch the window instead.
      StrCpy $3 0
      ${Do}
        Sleep 100
        IntOp $3 $3 + 100
        System::Call 'user32::IsWindow(p r0) i .r4'
        ${If} $4 = 0
          ${Break}
        ${EndIf}
      ${LoopUntil} $3 >= ${QUIT_WAIT_MS}
    ${EndIf}
    FindWindow $0 "${MAIN_CLASS}"
    ${If} $0 = 0
      ${Break}
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
        "${PRODUCT} is still running and does not end.$\r$\nEnd it, then press Retry." \
        /SD IDCANCEL IDRETRY +2
    Abort "${PRODUCT} is still running"
  ${Loop}
!macroend

Section "${PRODUCT} (required)" SecMain
  SectionIn RO
  !insertmacro CloseRunningCopy

  SetOutPath "$INSTDIR"
  File "${SRCDIR}/Tamsel.exe"
  File "${SRCDIR}/User Manual.pdf"
  ; A skin of an older version must not mix with this one.
  RMDir /r "$INSTDIR\pic"
  SetOutPath "$INSTDIR\pic"
  File /r "${SRCDIR}/pic/*"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\Tamsel.exe"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\User Manual.lnk" "$INSTDIR\User Manual.pdf"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINST_KEY}" "AppFolderName" "${APP_FOLDER_NAME}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Tamsel.exe,0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

Section "Start with Windows (hidden, in the notification area)" SecAutostart
  WriteRegStr HKLM "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\Tamsel.exe" -h'
SectionEnd

; The last install decides: leaving the option out removes an earlier one.
Section "-AutostartOff"
  ${IfNot} ${SectionIsSelected} ${SecAutostart}
    DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
  ${EndIf}
SectionEnd

; Pictures (My Pictures) and settings (%APPDATA%\<AppFolderName>) belong to
; the users and stay.
Section "Uninstall"
  !insertmacro CloseRunningCopy

  Delete "$INSTDIR\Tamsel.exe"
  Delete "$INSTDIR\User Manual.pdf"
  RMDir /r "$INSTDIR\pic"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\User Manual.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"

  DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd

Function .onInit
!if "${ARCH}" == "x64"
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "This is the 64-bit ${PRODUCT}. Use the x86 setup on 32-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
!endif
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/NOAUTOSTART" $R1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SecAutostart}
  ${EndIf}
FunctionEnd

Function un.onInit
!if "${ARCH}" == "x64"
  SetRegView 64
!endif
FunctionEnd
