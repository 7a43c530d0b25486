; Setup of Brackwater for Windows users: per machine, elevated, into the 32-bit
; Program Files folder, with an optional scheduled task that starts Brackwater
; elevated at logon. Built by scripts/package, which passes:
;   VERSION  the four-part version (from ui/AppVersionNumber.h, via the build)
;   STAGE    folder holding Brackwater.exe, README.txt and LICENSE.txt
;   ICON     the program's icon
;   OUTFILE  the setup to write

Unicode true
!include MUI2.nsh
!include LogicLib.nsh
!include Sections.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include WinMessages.nsh

!ifndef VERSION | STAGE | ICON | OUTFILE
  !error "Build this setup with scripts/package."
!endif

!define APP "Brackwater"
!define PUBLISHER "Corvantis"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define SETTINGS_KEY "Software\${PUBLISHER}\${APP}"
!define TASK_NAME "${APP}"
; The main window: its class, and the application title as its caption (the
; application's hidden window has the same caption, but another class).
!define MAIN_WINDOW_CLASS "TfrmMain"
; Long enough for the user to answer Brackwater's exit confirmation.
!define CLOSE_WAIT_STEPS 240 ; of 250 ms
!define SYNCHRONIZE 0x00100000

Name "${APP}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${APP}"
; An upgrade goes where the earlier version went.
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show
BrandingText "${APP} ${VERSION}"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${APP}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${APP} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 ${PUBLISHER}. All rights reserved."

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!define MUI_WELCOMEPAGE_TEXT "Setup will install ${APP} ${VERSION} on this computer, for all its users.$\r$\n$\r$\nIf ${APP} is running, Setup closes it first, the way Exit does, so that it saves its settings and puts its network adapter back to normal; it may ask you to confirm.$\r$\n$\r$\n${APP} works through the NDISRD packet-filter driver, which is installed separately.$\r$\n$\r$\nClick Next to continue."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${APP}.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${APP} now"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_COMPONENTSPAGE_TEXT_TOP "${APP} and its logon task are removed. Your settings stay unless you tick the box below."
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Closes every running Brackwater through its main window, the way a user
; would: its close query may ask for confirmation, and on the way out it saves
; its settings and returns its adapter to normal mode, which killing it would
; not. Pushes 0 when none is left running, 1 when one would not close.
; Uses $0 to $4.
!macro DEFINE_CLOSE_RUNNING PREFIX
Function ${PREFIX}CloseRunningBrackwater
  find:
    FindWindow $0 "${MAIN_WINDOW_CLASS}" "${APP}"
    ${If} $0 == 0
      StrCpy $4 0
      Goto done
    ${EndIf}
    DetailPrint "Closing the running ${APP} (answer its question if it asks)..."
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i 0 r1) i'
    System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2'
    System::Call 'user32::PostMessageW(p r0, i ${WM_CLOSE}, p 0, p 0) i'
    StrCpy $3 0
    wait:
      ; The window goes first; the process ends once the worker has put the
      ; adapter back, and only then may its files be replaced.
      ${If} $2 P<> 0
        System::Call 'kernel32::WaitForSingleObject(p r2, i 250) i .r4'
        ${If} $4 == 0
          System::Call 'kernel32::CloseHandle(p r2)'
          Goto find
        ${EndIf}
      ${Else}
        Sleep 250
        IsWindow $0 0 find
      ${EndIf}
      IntOp $3 $3 + 1
      IntCmp $3 ${CLOSE_WAIT_STEPS} 0 wait
    ${If} $2 P<> 0
      System::Call 'kernel32::CloseHandle(p r2)'
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "${APP} is still running and did not close.$\r$\n$\r$\nExit it from the menu of its notification-area icon (Exit), then click Retry. Cancel stops here without changing anything." \
      /SD IDCANCEL IDRETRY find
    StrCpy $4 1
  done:
  Push $4
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_RUNNING ""
!insertmacro DEFINE_CLOSE_RUNNING "un."

!macro DELETE_LOGON_TASK
  ; Fails harmlessly when there is no such task.
  nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /Delete /TN "${TASK_NAME}" /F'
  Pop $0
!macroend

Function .onInit
  SetShellVarContext all
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "Installing ${APP} needs administrator rights." /SD IDOK
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
  Call CheckDriverLibrary
FunctionEnd

; Brackwater cannot start without the driver's library; Windows finds it for a
; 32-bit program beside the program or on the usual search path (the 32-bit
; system folder included: this setup is itself 32-bit, so it sees that one).
Function CheckDriverLibrary
  IfFileExists "$INSTDIR\ndisapi.dll" found
  System::Call 'kernel32::SearchPathW(p 0, w "ndisapi.dll", p 0, i ${NSIS_MAX_STRLEN}, w .r1, p 0) i .r0'
  ${If} $0 != 0
    Goto found
  ${EndIf}
  MessageBox MB_YESNO|MB_ICONEXCLAMATION|MB_DEFBUTTON2 \
    "The NDISRD packet-filter driver does not seem to be installed: its library ndisapi.dll was not found.$\r$\n$\r$\n${APP} works only with that driver: install it too, before or after ${APP}.$\r$\n$\r$\nContinue installing ${APP}?" \
    /SD IDYES IDYES found
  Quit
  found:
FunctionEnd

Section "${APP}" SecMain
  SectionIn RO
  Call CloseRunningBrackwater
  Pop $0
  ${If} $0 != 0
    Abort "${APP} is still running; nothing was changed."
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "${STAGE}\${APP}.exe"
  File "${STAGE}\README.txt"
  File "${STAGE}\LICENSE.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\${APP}.exe" "" "$INSTDIR\${APP}.exe" 0

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\${APP}.exe,0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

Section "Start ${APP} when I log on" SecLogon
  Call CreateLogonTask
SectionEnd

; An upgrade without the logon option must not leave the earlier task behind.
Section "-RemoveUnwantedTask"
  ${IfNot} ${SectionIsSelected} ${SecLogon}
    !insertmacro DELETE_LOGON_TASK
  ${EndIf}
SectionEnd

Function XmlEscape
  Exch $0
  ${WordReplace} $0 "&" "&amp;" "+" $0
  ${WordReplace} $0 "<" "&lt;" "+" $0
  ${WordReplace} $0 ">" "&gt;" "+" $0
  Exch $0
FunctionEnd

!macro TASK_LINE TEXT
  FileWriteUTF16LE $9 `${TEXT}$\r$\n`
!macroend

; A Run key cannot start an elevated program without a prompt; a task "at
; logon, with highest privileges" can. It runs for the installing user only.
Function CreateLogonTask
  ; DOMAIN\user of this (elevated) setup's account
  StrCpy $1 ${NSIS_MAX_STRLEN}
  System::Call 'secur32::GetUserNameExW(i 2, w .r0, *i r1) i .r2'
  ${If} $2 == 0
    ReadEnvStr $0 USERDOMAIN
    ReadEnvStr $1 USERNAME
    StrCpy $0 "$0\$1"
  ${EndIf}
  Push $0
  Call XmlEscape
  Pop $7
  Push "$INSTDIR\${APP}.exe"
  Call XmlEscape
  Pop $8

  InitPluginsDir
  FileOpen $9 "$PLUGINSDIR\task.xml" w
  FileWriteWord $9 0xFEFF
  !insertmacro TASK_LINE '<?xml version="1.0" encoding="UTF-16"?>'
  !insertmacro TASK_LINE '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
  !insertmacro TASK_LINE '  <RegistrationInfo>'
  !insertmacro TASK_LINE '    <Author>${PUBLISHER}</Author>'
  !insertmacro TASK_LINE '    <Description>Starts ${APP} at logon with highest privileges, so that it resumes filtering its adapter.</Description>'
  !insertmacro TASK_LINE '  </RegistrationInfo>'
  !insertmacro TASK_LINE '  <Triggers>'
  !insertmacro TASK_LINE '    <LogonTrigger>'
  !insertmacro TASK_LINE '      <Enabled>true</Enabled>'
  !insertmacro TASK_LINE '      <UserId>$7</UserId>'
  !insertmacro TASK_LINE '    </LogonTrigger>'
  !insertmacro TASK_LINE '  </Triggers>'
  !insertmacro TASK_LINE '  <Principals>'
  !insertmacro TASK_LINE '    <Principal id="Author">'
  !insertmacro TASK_LINE '      <UserId>$7</UserId>'
  !insertmacro TASK_LINE '      <LogonType>InteractiveToken</LogonType>'
  !insertmacro TASK_LINE '      <RunLevel>HighestAvailable</RunLevel>'
  !insertmacro TASK_LINE '    </Principal>'
  !insertmacro TASK_LINE '  </Principals>'
  !insertmacro TASK_LINE '  <Settings>'
  !insertmacro TASK_LINE '    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>'
  !insertmacro TASK_LINE '    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>'
  !insertmacro TASK_LINE '    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>'
  ; Task Scheduler would otherwise end it after three days, or on demand, by
  ; killing it: its adapter would stay diverted.
  !insertmacro TASK_LINE '    <AllowHardTerminate>false</AllowHardTerminate>'
  !insertmacro TASK_LINE '    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>'
  !insertmacro TASK_LINE '    <IdleSettings>'
  !insertmacro TASK_LINE '      <StopOnIdleEnd>false</StopOnIdleEnd>'
  !insertmacro TASK_LINE '      <RestartOnIdle>false</RestartOnIdle>'
  !insertmacro TASK_LINE '    </IdleSettings>'
  !insertmacro TASK_LINE '    <Enabled>true</Enabled>'
  ; The default task priority is below normal; a packet filter should not be.
  !insertmacro TASK_LINE '    <Priority>4</Priority>'
  !insertmacro TASK_LINE '  </Settings>'
  !insertmacro TASK_LINE '  <Actions Context="Author">'
  !insertmacro TASK_LINE '    <Exec>'
  !insertmacro TASK_LINE '      <Command>"$8"</Command>'
  !insertmacro TASK_LINE '    </Exec>'
  !insertmacro TASK_LINE '  </Actions>'
  !insertmacro TASK_LINE '</Task>'
  FileClose $9

  nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /Create /TN "${TASK_NAME}" /XML "$PLUGINSDIR\task.xml" /F'
  Pop $0
  ${If} $0 != 0
    DetailPrint "schtasks returned $0"
    MessageBox MB_OK|MB_ICONEXCLAMATION \
      "The task that starts ${APP} at logon could not be created. ${APP} is installed; start it from the Start menu." \
      /SD IDOK
  ${EndIf}
FunctionEnd

Function un.onInit
  SetShellVarContext all
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "Removing ${APP} needs administrator rights." /SD IDOK
    SetErrorLevel 740
    Quit
  ${EndIf}
FunctionEnd

Section "un.${APP}" unSecMain
  SectionIn RO
  Call un.CloseRunningBrackwater
  Pop $0
  ${If} $0 != 0
    Abort "${APP} is still running; nothing was removed."
  ${EndIf}

  !insertmacro DELETE_LOGON_TASK
  Delete "$SMPROGRAMS\${APP}.lnk"
  Delete "$INSTDIR\${APP}.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd

Section /o "un.Also remove my settings" unSecSettings
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\${PUBLISHER}"
SectionEnd
