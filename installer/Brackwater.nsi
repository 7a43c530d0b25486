; Setup of Brackwater for Windows users: per machine, elevated, into the 32-bit
; Program Files folder and nowhere else, with an optional scheduled task that
; starts Brackwater elevated at logon. Built by scripts/package, which passes:
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
!include x64.nsh

!ifndef VERSION | STAGE | ICON | OUTFILE
  !error "Build this setup with scripts/package."
!endif

!define APP "Brackwater"
!define PUBLISHER "Corvantis"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define SETTINGS_KEY "Software\${PUBLISHER}\${APP}"
!define TASK_NAME "${APP}"
; The program's history in the Application event log: the source, with the
; exe's message table, so that Event Viewer shows each record's line as it is.
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\${APP}"
; The main window: its class, and the application title as its caption (the
; application's hidden window has the same caption, but another class).
!define MAIN_WINDOW_CLASS "TfrmMain"
; Long enough for the user to answer Brackwater's exit confirmation.
!define CLOSE_WAIT_STEPS 240 ; of 250 ms
!define SYNCHRONIZE 0x00100000

Name "${APP}"
OutFile "${OUTFILE}"
; The logon task runs the program elevated without a prompt: only a folder
; that only administrators can change may hold it (not, say, C:\Brackwater,
; which inherits write access for every user from C:\).
InstallDir "$PROGRAMFILES\${APP}"
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
!insertmacro MUI_PAGE_INSTFILES
; Without the driver's library Brackwater would only say that it is missing.
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishPageShow
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
          ; 3: its user chose to leave the adapter as it was, perhaps cut off.
          System::Call 'kernel32::GetExitCodeProcess(p r2, *i 0 r4) i'
          ${If} $4 == 3
            DetailPrint "${APP} ended without returning its network adapter to normal mode (exit code 3)."
          ${EndIf}
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

; Under /S nobody reads a message box: the text goes to the setup's log
; instead, in the one folder the program installs into, which only
; administrators can change (in the temporary folder a program without their
; rights could plant the name beforehand). Also before that folder is
; installed, and when another folder was asked for and refused.
!define SETUP_FOLDER "$PROGRAMFILES\${APP}"
!define SETUP_LOG "${SETUP_FOLDER}\${APP}-setup.log"
Function WriteSetupLog
  Exch $0
  Push $1
  DetailPrint $0
  CreateDirectory "${SETUP_FOLDER}"
  FileOpen $1 "${SETUP_LOG}" a
  FileSeek $1 0 END
  FileWrite $1 "$0$\r$\n"
  FileClose $1
  Pop $1
  Pop $0
FunctionEnd
!macro TELL FLAGS TEXT
  ${If} ${Silent}
    Push `${TEXT}`
    Call WriteSetupLog
  ${Else}
    MessageBox ${FLAGS} `${TEXT}`
  ${EndIf}
!macroend

; The system folder a 32-bit program loads its libraries from. ndisapi.dll is
; trusted only there: the other folders of the search path, PATH among them,
; may be ones that users without administrator rights can write.
Var DriverFolder
; DOMAIN\user of this (elevated) setup's account: the one the logon task is for.
Var Account

Function .onInit
  SetShellVarContext all
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "Installing ${APP} needs administrator rights." /SD IDOK
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
  Call CheckInstallFolder
  ${If} ${RunningX64}
    StrCpy $DriverFolder "$WINDIR\SysWOW64"
  ${Else}
    StrCpy $DriverFolder "$SYSDIR"
  ${EndIf}
  Call CheckDriverLibrary
  Call NameLogonTaskAccount
FunctionEnd

; Refuses a /D= naming another folder, and an earlier installation made into
; another folder; that one's logon task, which runs a program from a folder
; others may write, is deleted. Paths compare without regard to case.
Function CheckInstallFolder
  StrCpy $1 "$PROGRAMFILES\${APP}"
  ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} $0 != $1
    nsExec::Exec '"$SYSDIR\schtasks.exe" /Delete /TN "${TASK_NAME}" /F'
    Pop $2
    Goto refuse
  ${EndIf}
  ${If} $INSTDIR == $1
    Return
  ${EndIf}
  refuse:
  !insertmacro TELL MB_OK|MB_ICONSTOP "${APP} installs only into $1, where only administrators can change it."
  SetErrorLevel 2
  Quit
FunctionEnd

; Brackwater cannot start without the driver's library.
Function CheckDriverLibrary
  IfFileExists "$DriverFolder\ndisapi.dll" found
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

  ; Errors, warnings and information (1 | 2 | 4).
  WriteRegStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\${APP}.exe"
  WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7
SectionEnd

; Elevated at logon, Brackwater must not load an ndisapi.dll planted on PATH:
; no task (and none left from before) until the driver's own is in place.
; Named in .onInit after the account it is for (NameLogonTaskAccount).
Section "Start ${APP} at logon" SecLogon
  ${If} ${FileExists} "$DriverFolder\ndisapi.dll"
    Call CreateLogonTask
  ${Else}
    !insertmacro DELETE_LOGON_TASK
    !insertmacro TELL MB_OK|MB_ICONEXCLAMATION "The task that starts ${APP} at logon was not created: the NDISRD driver's ndisapi.dll is not installed. Install the driver, then run this setup again."
  ${EndIf}
SectionEnd

; An upgrade without the logon option must not leave the earlier task behind.
Section "-RemoveUnwantedTask"
  ${IfNot} ${SectionIsSelected} ${SecLogon}
    !insertmacro DELETE_LOGON_TASK
  ${EndIf}
SectionEnd

; A standard user who typed an administrator's password sees whose logon the
; task is for: the administrator's, not theirs.
Function NameLogonTaskAccount
  StrCpy $1 ${NSIS_MAX_STRLEN}
  System::Call 'secur32::GetUserNameExW(i 2, w .r0, *i r1) i .r2' ; NameSamCompatible
  ${If} $2 == 0
    ReadEnvStr $0 USERDOMAIN
    ReadEnvStr $1 USERNAME
    StrCpy $0 "$0\$1"
  ${EndIf}
  StrCpy $Account $0
  SectionSetText ${SecLogon} "Start ${APP} with administrator rights, without asking, when $Account logs on"
FunctionEnd

Function FinishPageShow
  ${IfNot} ${FileExists} "$DriverFolder\ndisapi.dll"
    SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
  ${EndIf}
FunctionEnd

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
  Push $Account
  Call XmlEscape
  Pop $7
  Push "$INSTDIR\${APP}.exe"
  Call XmlEscape
  Pop $8

  ; In the program's folder, not the setup's temporary one, which its plug-ins
  ; share; deleted once schtasks has read it.
  StrCpy $6 "$INSTDIR\${APP}-task.xml"
  FileOpen $9 "$6" w
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

  nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /Create /TN "${TASK_NAME}" /XML "$6" /F'
  Pop $0
  Delete "$6"
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
  Delete "$INSTDIR\${APP}-setup.log"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINST_KEY}"
  ; The records already written stay in the log, shown without the message table.
  DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
SectionEnd

Section /o "un.Also remove my settings" unSecSettings
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\${PUBLISHER}"
SectionEnd
