; The Windows installer, built by `make windows-installer` from build-win/
; (cmake/WindowsInstaller.cmake stages its files and runs makensis): the programs
; and libraries under Program Files\Norvelia, Start-menu entries, the settings
; a fresh machine gets (none overwritten), and an uninstaller in Add/Remove
; Programs that keeps the user's data unless asked.
; Command line: /S (silent), /LANG=fr|en (the language of the messages,
; else the one chosen on the first page, else the system's), /D=FOLDER;
; the uninstaller: /S, /REMOVEDATA (also the user's HotSync data and settings).
Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh
!include Sections.nsh

!define PRODUCT "Norvelia"
!define PRODUCT_KEY "Software\Norvelia\Tidepost"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Norvelia"
; The user's data, where the programs keep it (%APPDATA%\Norvelia).
!define DATA_DIR "$APPDATA\Norvelia"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PRODUCT}"

!define MUI_ABORTWARNING
!define MUI_LANGDLL_ALLLANGUAGES
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\bin\hotsync.exe"
!define MUI_FINISHPAGE_RUN_PARAMETERS "gui"
!define MUI_FINISHPAGE_RUN_NOTCHECKED
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
; French first: the product's language.
!insertmacro MUI_LANGUAGE "French"
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_RESERVEFILE_LANGDLL

; Our own texts, from the message catalogs (LangString NORV_<number>).
!include "${TEXTS}"

Var MsgDll

; /LANG=fr|en on the command line, else the language page (not in silent
; mode, where the system's language stands).
Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "$(NORV_4476)" /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/LANG=" $1
  ${IfNot} ${Errors}
    ${If} $1 == "fr"
      StrCpy $LANGUAGE ${LANG_FRENCH}
    ${ElseIf} $1 == "en"
      StrCpy $LANGUAGE ${LANG_ENGLISH}
    ${Else}
      MessageBox MB_ICONSTOP "/LANG=$1: fr or en" /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${Else}
    !insertmacro MUI_LANGDLL_DISPLAY
  ${EndIf}
  ${If} $LANGUAGE == ${LANG_FRENCH}
    StrCpy $MsgDll "Lexmo.dll"
  ${Else}
    StrCpy $MsgDll "LexmoUs.dll"
  ${EndIf}
FunctionEnd

; Writes a text value only when the value is not there yet.
!macro NorvDefault KEY NAME VALUE
  ClearErrors
  ReadRegStr $0 HKLM "${KEY}" "${NAME}"
  ${If} ${Errors}
    WriteRegStr HKLM "${KEY}" "${NAME}" "${VALUE}"
  ${EndIf}
!macroend

; Creates a key without giving it a value.
!macro NorvKey KEY
  WriteRegStr HKLM "${KEY}" "NorvSetupMark" ""
  DeleteRegValue HKLM "${KEY}" "NorvSetupMark"
!macroend

Section "-${PRODUCT}" SecProgram
  SetShellVarContext all
  SetOutPath "$INSTDIR\bin"
  File "${STAGE}/bin/*.exe"
  File "${STAGE}/bin/*.dll"
  ; The settings programs come with every installer: one without them would
  ; leave the Start menu's entries pointing at nothing.
  !if ! /FileExists "${STAGE}/bin/NvPassword.exe"
    !error "NvPassword.exe is not in ${STAGE}/bin: build it first"
  !endif
  !if ! /FileExists "${STAGE}/bin/NvConnexion.exe"
    !error "NvConnexion.exe is not in ${STAGE}/bin: build it first"
  !endif
  SetOutPath "$INSTDIR\share\norvelia"
  File "${STAGE}/share/norvelia/*.msg"
  File "${STAGE}/share/norvelia/defaults.reg"

  ; The settings a fresh machine gets, as defaults.reg gives them on Linux.
  ; A value already there stays: a reinstall keeps the user's choices, and
  ; the default server is added only to a machine that has no server yet.
  !insertmacro NorvDefault "${PRODUCT_KEY}" "MsgDll" "$MsgDll"
  ClearErrors
  EnumRegValue $0 HKLM "${PRODUCT_KEY}\Servers" 0
  ${If} ${Errors}
  ${OrIf} $0 == ""
    WriteRegStr HKLM "${PRODUCT_KEY}\Servers" "${DEFAULT_SERVER_NAME}" "${DEFAULT_SERVER_URL}"
  ${EndIf}
  !insertmacro NorvKey "${PRODUCT_KEY}\Users"

  ; Start menu: the HotSync window and the settings programs.
  SetOutPath "$INSTDIR\bin"
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\HotSync.lnk" "$INSTDIR\bin\hotsync.exe" "gui" \
    "$INSTDIR\bin\hotsync.exe" 0 SW_SHOWNORMAL "" "$(NORV_4470)"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\NvPassword.lnk" "$INSTDIR\bin\NvPassword.exe" "" \
    "$INSTDIR\bin\NvPassword.exe" 0 SW_SHOWNORMAL "" "$(NORV_4471)"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\NvConnexion.lnk" "$INSTDIR\bin\NvConnexion.exe" "" \
    "$INSTDIR\bin\NvConnexion.exe" 0 SW_SHOWNORMAL "" "$(NORV_4472)"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\$(NORV_4473).lnk" "$INSTDIR\uninstall.exe"

  ; Add/Remove Programs.
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\bin\hotsync.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

; What the installer put there, file by file: nothing else in the folder goes.
Section "-un.${PRODUCT}"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}\*.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  Delete "$INSTDIR\bin\*.exe"
  Delete "$INSTDIR\bin\*.dll"
  RMDir "$INSTDIR\bin"
  Delete "$INSTDIR\share\norvelia\*.msg"
  Delete "$INSTDIR\share\norvelia\defaults.reg"
  RMDir "$INSTDIR\share\norvelia"
  RMDir "$INSTDIR\share"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

; Unchecked unless asked (/REMOVEDATA): the HotSync home with its logs,
; backups and order journal, the logins and servers of the settings.
Section /o "un.$(NORV_4474)" SecUnData
  SetShellVarContext current
  RMDir /r "${DATA_DIR}\HotSync"
  RMDir "${DATA_DIR}"
  DeleteRegKey HKLM "Software\Norvelia"
  DeleteRegKey HKCU "Software\Norvelia"
SectionEnd

Function un.onInit
  SetRegView 64
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVEDATA" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecUnData}
  ${EndIf}
  !insertmacro MUI_UNGETLANGUAGE
FunctionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecUnData} "$(NORV_4475)"
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END
