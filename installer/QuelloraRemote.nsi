; Installer of Quellora Remote Server, one per build width. The build passes:
;   VERSION   x.y.z of the release
;   ARCH      x64 or x86
;   STAGE     folder with what is installed: quellora-remote.exe, README.txt, licences\
;   LICENCES_INSTALL, LICENCES_UNINSTALL  includes that install and remove the
;             licence texts (empty when nothing third-party is linked in)
;   ICON      the program's icon
;   OUTFILE   the installer to write
;
; Command line of the installer (besides NSIS's /S and /D=folder):
;   /AllUsers, /CurrentUser    install for every user (default) or only for this one
;   /NoStartAtLogon            leave out the "start at logon" entry
;   /NoFirewallRule            leave out the firewall rule (added only for all users)
; Command line of the uninstaller (besides /S):
;   /RemoveMyData              also remove bugreport.txt and the remembered contact data
Unicode true
!if "${ARCH}" == "x64"
    Target amd64-unicode
!else
    Target x86-unicode
!endif
SetCompressor /SOLID lzma
; The installed files get the install's time; the installer keeps no file
; dates, so the same commit builds the same installer.
SetDateSave off
ManifestDPIAware true
ManifestSupportedOS all

!define APP_NAME "Quellora Remote Server"
!define APP_EXE "quellora-remote.exe"
!define PUBLISHER "Quellora"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quellora Remote Server"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define CONTACT_KEY "Software\Harnwick\ContactForm"
; The program's application window: WM_CLOSE to it ends the program with 0.
!define APP_WINDOW_CLASS "TApplication"
!define APP_WINDOW_TITLE "Quellora Remote Server"
; How long a running copy gets to end after the close request.
!define CLOSE_WAIT_MS 20000
; The inbound rule that lets the local network reach the program's port.
; The program has no authentication: only the local subnet, and not on
; public networks.
!define FIREWALL_RULE "Quellora Remote Server"
!define PORT 19150

Name "${APP_NAME}"
OutFile "${OUTFILE}"
BrandingText "${APP_NAME} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${APP_NAME}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${APP_NAME} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

; Per-machine (elevated) or per-user, chosen on a page; per-machine is the default.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "${APP_NAME}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallLocation"
; A folder given with /D= wins over the mode's default folder.
!define MULTIUSER_INSTALLMODE_FUNCTION KeepFolderFromCommandLine
; The uninstaller finds its mode from where it is (un.onInit).
!define MULTIUSER_NOUNINSTALL
!if "${ARCH}" == "x64"
    !define MULTIUSER_USE_PROGRAMFILES64
!endif
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include Sections.nsh

Var FolderFromCommandLine
Var FinishText

Function KeepFolderFromCommandLine
    ${If} $FolderFromCommandLine != ""
        StrCpy $INSTDIR $FolderFromCommandLine
    ${EndIf}
FunctionEnd

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_FINISHPAGE_NOAUTOCLOSE
!define MUI_UNFINISHPAGE_NOAUTOCLOSE

!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!define MUI_FINISHPAGE_TEXT "$FinishText"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MULTIUSER_PAGE_INSTALLMODE
; The firewall rule is offered only to an install for all users.
!define MUI_PAGE_CUSTOMFUNCTION_PRE ComponentsPagePre
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; Says whether the firewall rule could be added.
!define MUI_PAGE_CUSTOMFUNCTION_PRE FinishPagePre
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Ends every copy of the program that runs from $INSTDIR: asks its
; application window to close and waits, bounded, for the process to end.
; Copies started from elsewhere are left alone. Leaves on the stack the
; number of copies that did not end in time.
!macro CLOSE_RUNNING_COPIES UN
Function ${UN}CloseRunningCopies
    Push $R0
    Push $R1
    Push $R2
    Push $R3
    Push $R4
    Push $R5
    Push $R6
    Push $R7
    StrCpy $R7 0
    GetFullPathName $R6 "$INSTDIR\${APP_EXE}"
    StrCpy $R1 0
    ${Do}
        FindWindow $R0 "${APP_WINDOW_CLASS}" "${APP_WINDOW_TITLE}" 0 $R1
        ${If} $R0 == 0
            ${Break}
        ${EndIf}
        StrCpy $R1 $R0
        System::Call "user32::GetWindowThreadProcessId(p R0, *i 0 R2)"
        ; SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION
        System::Call "kernel32::OpenProcess(i 0x101000, i 0, i R2) p.R3"
        ${If} $R3 == 0
            ${Continue}
        ${EndIf}
        StrCpy $R4 ""
        System::Call "kernel32::QueryFullProcessImageNameW(p R3, i 0, w.R4, *i ${NSIS_MAX_STRLEN})"
        ${If} $R4 == $R6
            DetailPrint "Closing the running ${APP_NAME} (process $R2)"
            System::Call "user32::PostMessageW(p R0, i ${WM_CLOSE}, p 0, p 0)"
            System::Call "kernel32::WaitForSingleObject(p R3, i ${CLOSE_WAIT_MS}) i.R5"
            ${If} $R5 == 0
                ; The window is gone: search again from the first one.
                StrCpy $R1 0
            ${Else}
                IntOp $R7 $R7 + 1
            ${EndIf}
        ${EndIf}
        System::Call "kernel32::CloseHandle(p R3)"
    ${Loop}
    StrCpy $R0 $R7
    Pop $R7
    Pop $R6
    Pop $R5
    Pop $R4
    Pop $R3
    Pop $R2
    Pop $R1
    Exch $R0
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING_COPIES ""
!insertmacro CLOSE_RUNNING_COPIES "un."

Section "${APP_NAME}" SecProgram
    SectionIn RO
    Call CloseRunningCopies
    Pop $0
    ${If} $0 != 0
        MessageBox MB_OK|MB_ICONSTOP "${APP_NAME} is still running from $INSTDIR and did not end. End it through its tray menu and start the setup again." /SD IDOK
        Abort
    ${EndIf}
    SetOutPath "$INSTDIR"
    File "${STAGE}\${APP_EXE}"
    File "${STAGE}\README.txt"
    ; Only this version's licences: an older one may have shipped others.
    Delete "$INSTDIR\licences\*.txt"
    RMDir "$INSTDIR\licences"
    !include "${LICENCES_INSTALL}"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortcut "$SMPROGRAMS\${APP_NAME}.lnk" "$INSTDIR\${APP_EXE}" "" "$INSTDIR\${APP_EXE}" 0

    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APP_NAME}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${APP_EXE},0"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Start at logon" SecStartAtLogon
    ; The current user's Run key, whichever install mode was chosen.
    WriteRegStr HKCU "${RUN_KEY}" "${APP_NAME}" '"$INSTDIR\${APP_EXE}"'
SectionEnd

Section "Firewall rule (all users only)" SecFirewall
    ; Only an elevated install for all users may change the firewall.
    ${If} $MultiUser.InstallMode == "AllUsers"
        ; One rule of this name: an earlier install's goes first.
        nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${FIREWALL_RULE}"'
        Pop $0
        nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow program="$INSTDIR\${APP_EXE}" enable=yes protocol=TCP localport=${PORT} profile=domain,private remoteip=LocalSubnet'
        Pop $0
        ${If} $0 != 0
            DetailPrint "The firewall rule could not be added (netsh: $0); see README.txt, Firewall."
        ${EndIf}
    ${EndIf}
SectionEnd

Function ComponentsPagePre
    ${If} $MultiUser.InstallMode == "AllUsers"
        !insertmacro ClearSectionFlag ${SecFirewall} ${SF_RO}
    ${Else}
        !insertmacro UnselectSection ${SecFirewall}
        !insertmacro SetSectionFlag ${SecFirewall} ${SF_RO}
    ${EndIf}
FunctionEnd

Function FinishPagePre
    ${If} $MultiUser.InstallMode == "AllUsers"
        StrCpy $FinishText "${APP_NAME} has been installed. Other computers of the local network reach it on TCP port ${PORT}.$\r$\n$\r$\nClick Finish to close this wizard."
    ${Else}
        StrCpy $FinishText "${APP_NAME} has been installed for you only, which cannot change the firewall. If other computers cannot reach it, an administrator allows $\"${APP_EXE}$\" for TCP port ${PORT} in Windows Firewall (README.txt, Firewall, tells how).$\r$\n$\r$\nClick Finish to close this wizard."
    ${EndIf}
FunctionEnd

Section "-Without start at logon"
    ; An upgrade without the entry must not leave the old one behind.
    ${IfNot} ${SectionIsSelected} ${SecStartAtLogon}
        Call RemoveOwnRunEntry
    ${EndIf}
SectionEnd

!macro REMOVE_OWN_RUN_ENTRY UN
Function ${UN}RemoveOwnRunEntry
    ; Only our own entry: another install of the program may have set it.
    ReadRegStr $0 HKCU "${RUN_KEY}" "${APP_NAME}"
    ${If} $0 == '"$INSTDIR\${APP_EXE}"'
        DeleteRegValue HKCU "${RUN_KEY}" "${APP_NAME}"
    ${EndIf}
FunctionEnd
!macroend
!insertmacro REMOVE_OWN_RUN_ENTRY ""
!insertmacro REMOVE_OWN_RUN_ENTRY "un."

Function .onInit
!if "${ARCH}" == "x64"
    SetRegView 64
!endif
    ; NSIS has put a /D= folder into $INSTDIR; there is no other default.
    StrCpy $FolderFromCommandLine $INSTDIR
    !insertmacro MULTIUSER_INIT
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/NoStartAtLogon" $1
    ${IfNot} ${Errors}
        !insertmacro UnselectSection ${SecStartAtLogon}
    ${EndIf}
    ClearErrors
    ${GetOptions} $0 "/NoFirewallRule" $1
    ${IfNot} ${Errors}
        !insertmacro UnselectSection ${SecFirewall}
    ${EndIf}
FunctionEnd

; ---------------------------------------------------------------- uninstaller

Section "un.${APP_NAME}" SecUnProgram
    SectionIn RO
    Call un.CloseRunningCopies
    Pop $0
    ${If} $0 != 0
        MessageBox MB_OK|MB_ICONSTOP "${APP_NAME} is still running from $INSTDIR and did not end. End it through its tray menu and start the uninstaller again." /SD IDOK
        Abort
    ${EndIf}
    Delete "$INSTDIR\${APP_EXE}"
    Delete "$INSTDIR\README.txt"
    !include "${LICENCES_UNINSTALL}"
    RMDir "$INSTDIR\licences"
    Delete "$INSTDIR\uninstall.exe"
    ; Not recursive: the folder stays while it holds the user's bugreport.txt.
    RMDir "$INSTDIR"

    Delete "$SMPROGRAMS\${APP_NAME}.lnk"
    Call un.RemoveOwnRunEntry
    ; The firewall rule of an install for all users.
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
        nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${FIREWALL_RULE}" program="$INSTDIR\${APP_EXE}"'
        Pop $0
    ${EndIf}
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.Remove my data too" SecRemoveMyData
    ; The program's data belong to the user who runs it, whatever the mode.
    SetShellVarContext current
    Delete "$INSTDIR\bugreport.txt"
    RMDir "$INSTDIR"
    Delete "$APPDATA\quellora-remote\bugreport.txt"
    RMDir "$APPDATA\quellora-remote"
    DeleteRegValue HKCU "${CONTACT_KEY}" "RememberName"
    DeleteRegValue HKCU "${CONTACT_KEY}" "RememberEmail"
    DeleteRegKey /ifempty HKCU "${CONTACT_KEY}"
    DeleteRegKey /ifempty HKCU "Software\Harnwick"
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "The program, its README and licences, a Start-menu entry and the uninstaller."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecStartAtLogon} "Starts the program whenever you log on to Windows (your user only)."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecFirewall} "A Windows Firewall rule that lets computers of the local network (not public networks) reach TCP port ${PORT}. Only when installing for all users."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecUnProgram} "The program, its Start-menu entry, its start at your logon and this uninstaller."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecRemoveMyData} "Also bugreport.txt and the name and e-mail address remembered for bug reports."
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END

Function un.onInit
!if "${ARCH}" == "x64"
    SetRegView 64
!endif
    ; A per-machine install is the one the machine's Apps & features entry
    ; points to; it needs administrator rights to remove.
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
        UserInfo::GetAccountType
        Pop $1
        ${If} $1 != "Admin"
            MessageBox MB_OK|MB_ICONSTOP "${APP_NAME} was installed for all users; removing it needs administrator rights." /SD IDOK
            SetErrorLevel 5
            Quit
        ${EndIf}
        SetShellVarContext all
    ${Else}
        SetShellVarContext current
    ${EndIf}
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/RemoveMyData" $1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SecRemoveMyData}
    ${EndIf}
FunctionEnd
