; Quillodrome's installer: one 64-bit Quillodrome.exe with the SoundTouch library it plays
; through (its DLL and licence text) into Program Files for every user, a Start-menu shortcut, an entry in Add/Remove Programs and its uninstaller. The same file serves
; as the update the program downloads (QuillodromeUpdateFr.exe): it installs over the earlier
; version in place once that program has ended.
;
; Built by installer/CMakeLists.txt, which defines:
;   QD_VERSION  the build's four-number version (a.b.c.d)
;   QD_EXE      the program to install
;   QD_SOUNDTOUCH_DLL, QD_SOUNDTOUCH_LICENCE  the time-stretching library and its LGPL text
;   QD_ICON     the program's icon
;   QD_SIDE     the welcome and finish pages' side picture (164 x 314, tools/make-art.py)
;   QD_OUTFILE  the installer to write
;   QD_SIGN     the command that signs a file in place (Authenticode), or undefined for none
;   QD_PUBLISHER  the publisher the signatures name (the signing certificate's common name)
;
; Command line: /S installs silently (administrators only), /D=folder chooses the folder (last
; option, without quotes). Exit code 0 on success, 2 when the installation did not take place.

Unicode true
; The program is 64-bit only; a 64-bit installer also sees the 64-bit registry and Program Files
; without redirection.
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
AllowSkipFiles off

!ifndef QD_VERSION | QD_EXE | QD_ICON | QD_SIDE | QD_OUTFILE | QD_SOUNDTOUCH_DLL | QD_SOUNDTOUCH_LICENCE
    !error "QD_VERSION, QD_EXE, QD_ICON, QD_SIDE, QD_OUTFILE and the two QD_SOUNDTOUCH_ files must be defined (see installer/CMakeLists.txt)"
!endif

!ifdef QD_SIGN
    ; The uninstaller is signed before it is packed, the installer once it is written.
    !uninstfinalize '"${QD_SIGN}" "%1"' = 0
    !finalize '"${QD_SIGN}" "%1"' = 0
!endif

!define PRODUCT "Quillodrome"
!define COMPANY "Brenvale"
!define PROGRAM_EXE "Quillodrome.exe"
; The new program is unpacked under this name beside the old one and takes its place in one
; rename, so that the folder always holds a complete program.
!define PROGRAM_NEW "Quillodrome.exe.new"
!define UNINSTALLER "Uninstall.exe"
!define SOUNDTOUCH_DLL "libSoundTouchDLL.dll"
!define SOUNDTOUCH_LICENCE "SoundTouch-COPYING.TXT"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillodrome"
!define SETTINGS_KEY "Software\Brenvale\Quillodrome"
; Shared by the installer and the uninstaller: only one of them works on the folder at a time.
!define SETUP_MUTEX "Global\Brenvale.Quillodrome.Setup"
; How long to wait for a running program to end before asking the user (in half seconds).
!define WAIT_STEPS 60

Name "${PRODUCT}"
Caption "Installation de ${PRODUCT} ${QD_VERSION}"
OutFile "${QD_OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
BrandingText "${COMPANY}"
ShowInstDetails show
ShowUninstDetails show

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define MUI_ICON "${QD_ICON}"
!define MUI_UNICON "${QD_ICON}"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${QD_SIDE}"
!define MUI_UNWELCOMEFINISHPAGE_BITMAP "${QD_SIDE}"
!define MUI_ABORTWARNING

; The publisher named here is the one Windows shows from the signature before it runs us.
!define MUI_WELCOMEPAGE_TEXT "Vous êtes sur le point d'installer ${PRODUCT} ${QD_VERSION} sur votre ordinateur.$\r$\n$\r$\nÉditeur : ${QD_PUBLISHER}. Ce programme d'installation porte sa signature numérique, que Windows vérifie avant de le lancer.$\r$\n$\r$\nCliquez sur Suivant pour continuer."
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipDirectoryOnUpdate
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Lancer ${PRODUCT}"
!define MUI_FINISHPAGE_RUN_FUNCTION LaunchProgram
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "French"

VIProductVersion "${QD_VERSION}"
VIFileVersion "${QD_VERSION}"
VIAddVersionKey /LANG=${LANG_FRENCH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_FRENCH} "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=${LANG_FRENCH} "LegalCopyright" "© ${COMPANY}"
VIAddVersionKey /LANG=${LANG_FRENCH} "FileDescription" "Installation de ${PRODUCT}"
VIAddVersionKey /LANG=${LANG_FRENCH} "FileVersion" "${QD_VERSION}"
VIAddVersionKey /LANG=${LANG_FRENCH} "ProductVersion" "${QD_VERSION}"

; Steps common to the installer and the uninstaller (UN is "" or "un.").
!macro QD_COMMON UN

; One installer or uninstaller at a time; a second one says so and ends.
Function ${UN}TakeSetupMutex
    System::Call 'kernel32::CreateMutexW(p 0, i 1, w "${SETUP_MUTEX}") p .r0 ?e'
    Pop $1
    ${If} $1 = 183 ; ERROR_ALREADY_EXISTS
        MessageBox MB_OK|MB_ICONEXCLAMATION "L'installation ou la désinstallation de ${PRODUCT} est déjà en cours." /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
FunctionEnd

Function ${UN}RequireAdministrator
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "admin"
        MessageBox MB_OK|MB_ICONSTOP "Vous devez être administrateur de cet ordinateur pour installer ou désinstaller ${PRODUCT}." /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
FunctionEnd

; $0 = 1 while the installed program runs. Windows (and Wine) refuse a write open of an
; executable that a process has mapped, whatever its window shows; the window's title changes
; with the open recording and is not a reliable sign.
Function ${UN}ProgramRunning
    StrCpy $0 0
    ${IfNot} ${FileExists} "$INSTDIR\${PROGRAM_EXE}"
        Return
    ${EndIf}
    ; GENERIC_WRITE, no sharing, OPEN_EXISTING
    System::Call 'kernel32::CreateFileW(w "$INSTDIR\${PROGRAM_EXE}", i 0x40000000, i 0, p 0, i 3, i 0, p 0) p .r1 ?e'
    Pop $2
    ${If} $1 P= -1
        ${If} $2 = 32 ; ERROR_SHARING_VIOLATION
            StrCpy $0 1
        ${EndIf}
    ${Else}
        System::Call 'kernel32::CloseHandle(p r1)'
    ${EndIf}
FunctionEnd

; Waits for the installed program to end: the program starts its update just before it closes.
; After the bounded wait the user may close it and retry; Cancel (or a silent run) gives up
; before anything was changed.
Function ${UN}WaitForProgram
    StrCpy $3 0
    ${Do}
        Call ${UN}ProgramRunning
        ${If} $0 = 0
            Return
        ${EndIf}
        ${If} $3 = 0
            DetailPrint "Attente de la fermeture de ${PRODUCT}..."
        ${EndIf}
        ${If} $3 >= ${WAIT_STEPS}
            MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${PRODUCT} est encore ouvert.$\r$\nFermez-le, puis cliquez sur Réessayer." /SD IDCANCEL IDRETRY retry
            Delete "$INSTDIR\${PROGRAM_NEW}"
            DetailPrint "${PRODUCT} est encore ouvert : rien n'a été modifié."
            SetErrorLevel 2
            Abort "${PRODUCT} est encore ouvert."
        retry:
            StrCpy $3 0
        ${Else}
            Sleep 500
            IntOp $3 $3 + 1
        ${EndIf}
    ${Loop}
FunctionEnd

!macroend

!insertmacro QD_COMMON ""
!insertmacro QD_COMMON "un."

Function .onInit
    SetRegView 64
    SetShellVarContext all
    Call RequireAdministrator
    Call TakeSetupMutex
FunctionEnd

; An update goes where the earlier version is: no folder to choose.
Function SkipDirectoryOnUpdate
    ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
    ${If} $0 != ""
        Abort
    ${EndIf}
FunctionEnd

; Program Files lets only administrators change what is in it; a folder chosen elsewhere (such
; as C:\Quillo) inherits whatever its parent allows, often writing for every user, who could
; then replace the program that others and the next update start. Such a folder gets the same
; protection: administrators and SYSTEM change it, users read and run it. If that cannot be
; done, nothing is installed there.
Function ProtectInstallFolder
    StrLen $0 "$PROGRAMFILES64\"
    StrCpy $1 "$INSTDIR\" $0
    ${If} $1 == "$PROGRAMFILES64\"
        Return
    ${EndIf}
    System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", i 1, *p .r1, p 0) i .r0'
    ${If} $0 <> 0
        System::Call 'advapi32::GetSecurityDescriptorDacl(p r1, *i .r2, *p .r3, *i .r4) i .r0'
        ${If} $0 <> 0
            ; SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION
            System::Call 'advapi32::SetNamedSecurityInfoW(w "$INSTDIR", i 1, i 0x80000004, p 0, p 0, p r3, p 0) i .r0'
            ${If} $0 = 0
                StrCpy $0 1
            ${Else}
                StrCpy $0 0
            ${EndIf}
        ${EndIf}
        System::Call 'kernel32::LocalFree(p r1)'
    ${EndIf}
    ${If} $0 = 0
        MessageBox MB_OK|MB_ICONSTOP "Impossible de protéger le dossier $INSTDIR : choisissez-en un autre." /SD IDOK
        SetErrorLevel 2
        Abort "Impossible de protéger le dossier $INSTDIR."
    ${EndIf}
FunctionEnd

Section "${PRODUCT}"
    SetOutPath "$INSTDIR"
    Call ProtectInstallFolder
    ; Unpacked whole under its own name before the old program is touched.
    File "/oname=${PROGRAM_NEW}" "${QD_EXE}"
    ${Do}
        Call WaitForProgram
        ; The library is replaced only once no program holds it; an earlier copy also serves the
        ; new program, so the program's own swap below stays the one step that matters.
        File "/oname=${SOUNDTOUCH_DLL}" "${QD_SOUNDTOUCH_DLL}"
        File "/oname=${SOUNDTOUCH_LICENCE}" "${QD_SOUNDTOUCH_LICENCE}"
        ; MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH: one rename over the old program.
        System::Call 'kernel32::MoveFileExW(w "$INSTDIR\${PROGRAM_NEW}", w "$INSTDIR\${PROGRAM_EXE}", i 9) i .r0 ?e'
        Pop $4
        ${If} $0 <> 0
            ${Break}
        ${EndIf}
        ; Started again in the meantime: wait once more. Anything else (no rights) is final.
        Call ProgramRunning
        ${If} $0 = 0
            Delete "$INSTDIR\${PROGRAM_NEW}"
            MessageBox MB_OK|MB_ICONSTOP "Impossible de remplacer $INSTDIR\${PROGRAM_EXE} (erreur $4)." /SD IDOK
            SetErrorLevel 2
            Abort "Impossible de remplacer ${PROGRAM_EXE} (erreur $4)."
        ${EndIf}
    ${Loop}
    DetailPrint "${PROGRAM_EXE} installé."

    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${PROGRAM_EXE}" "" \
        "$INSTDIR\${PROGRAM_EXE}" 0 SW_SHOWNORMAL "" "Lecteur de transcription"

    WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${COMPANY}"
    WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${QD_VERSION}"
    WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM_EXE},0"
    WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

; The program should run with the user's own rights, not the installer's elevated ones (an
; elevated window receives no files dropped from Explorer). The desktop shell's ShellExecute
; runs it as the signed-in user.
Function LaunchProgram
    System::Call 'ole32::CoCreateInstance(g "{9BA05972-F6A8-11CF-A442-00A0C90A8F39}", p 0, i 4, g "{85CB6900-4D95-11CF-960C-0080C7F4EE85}", *p .r1) i .r0'
    ${If} $0 = 0
        ; VARIANTs (24 bytes, passed by address): $9 empty, $8 VT_I4 0 (CSIDL_DESKTOP).
        System::Call '*(p 0, p 0, p 0) p .r9'
        System::Call '*(i 3, i 0, i 0, i 0, p 0) p .r8'
        ; FindWindowSW(desktop, empty, SWC_DESKTOP, &hwnd, SWFO_NEEDDISPATCH, &dispatch)
        StrCpy $3 0
        System::Call '$1->15(p r8, p r9, i 8, *i .r2, i 1, *p .r3) i .r0'
        System::Call '$1->2()'
        System::Free $8
        ${If} $0 = 0
        ${AndIf} $3 P<> 0
            ; IServiceProvider::QueryService(SID_STopLevelBrowser, IID_IShellBrowser)
            System::Call '$3->0(g "{6D5140C1-7436-11CE-8034-00AA006009FA}", *p .r4) i .r0'
            System::Call '$3->2()'
            ${If} $0 = 0
                System::Call '$4->3(g "{4C96BE40-915C-11CF-99D3-00AA004AE837}", g "{000214E2-0000-0000-C000-000000000046}", *p .r5) i .r0'
                System::Call '$4->2()'
                ${If} $0 = 0
                    ; IShellBrowser::QueryActiveShellView
                    System::Call '$5->15(*p .r6) i .r0'
                    System::Call '$5->2()'
                    ${If} $0 = 0
                        ; IShellView::GetItemObject(SVGIO_BACKGROUND, IID_IDispatch)
                        System::Call '$6->15(i 0, g "{00020400-0000-0000-C000-000000000046}", *p .r7) i .r0'
                        System::Call '$6->2()'
                        ${If} $0 = 0
                            ; IDispatch -> IShellFolderViewDual::get_Application
                            System::Call '$7->0(g "{E7A1AF80-4D96-11CF-960C-0080C7F4EE85}", *p .r8) i .r0'
                            System::Call '$7->2()'
                            ${If} $0 = 0
                                System::Call '$8->7(*p .r7) i .r0'
                                System::Call '$8->2()'
                                ${If} $0 = 0
                                    ; IShellDispatch2::ShellExecute(file, empty, folder, empty, SW_SHOWNORMAL)
                                    System::Call '$7->0(g "{A4C6892C-3BA9-11D2-9DEA-00C04FB16162}", *p .r8) i .r0'
                                    System::Call '$7->2()'
                                    ${If} $0 = 0
                                        System::Call 'oleaut32::SysAllocString(w "$INSTDIR\${PROGRAM_EXE}") p .r1'
                                        System::Call 'oleaut32::SysAllocString(w "$INSTDIR") p .r3'
                                        System::Call '*(i 8, i 0, p r3, p 0) p .r2' ; VT_BSTR
                                        System::Call '*(i 3, i 0, i 1, i 0, p 0) p .r4' ; VT_I4 1
                                        System::Call '$8->31(p r1, p r9, p r2, p r9, p r4) i .r0'
                                        System::Call '$8->2()'
                                        System::Call 'oleaut32::SysFreeString(p r1)'
                                        System::Call 'oleaut32::SysFreeString(p r3)'
                                        System::Free $2
                                        System::Free $4
                                        System::Free $9
                                        ${If} $0 = 0
                                            Return
                                        ${EndIf}
                                    ${EndIf}
                                ${EndIf}
                            ${EndIf}
                        ${EndIf}
                    ${EndIf}
                ${EndIf}
            ${EndIf}
        ${EndIf}
    ${EndIf}
    Call LaunchWithoutAdministratorRights
FunctionEnd

; Where the desktop shell cannot start it (Wine has none), the program starts from here with the
; installer's user but a token stripped of administrator rights (LUA_TOKEN), or not at all: it
; never runs elevated.
Function LaunchWithoutAdministratorRights
    System::Call 'kernel32::GetCurrentProcess() p .r0'
    ; TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE | TOKEN_QUERY
    System::Call 'advapi32::OpenProcessToken(p r0, i 0x0B, *p .r1) i .r2'
    ${If} $2 = 0
        Return
    ${EndIf}
    System::Call 'advapi32::CreateRestrictedToken(p r1, i 4, i 0, p 0, i 0, p 0, i 0, p 0, *p .r3) i .r2'
    System::Call 'kernel32::CloseHandle(p r1)'
    ${If} $2 = 0
        Return
    ${EndIf}
    ; STARTUPINFOW (104 bytes, its size first) and PROCESS_INFORMATION (24 bytes)
    System::Alloc 104
    Pop $4
    System::Call '*$4(i 104)'
    System::Alloc 24
    Pop $5
    System::Call 'advapi32::CreateProcessAsUserW(p r3, w "$INSTDIR\${PROGRAM_EXE}", p 0, p 0, p 0, i 0, i 0, p 0, w "$INSTDIR", p r4, p r5) i .r2'
    ${If} $2 <> 0
        System::Call '*$5(p .r6, p .r7)'
        System::Call 'kernel32::CloseHandle(p r6)'
        System::Call 'kernel32::CloseHandle(p r7)'
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r3)'
    System::Free $4
    System::Free $5
FunctionEnd

Function un.onInit
    SetRegView 64
    SetShellVarContext all
    Call un.RequireAdministrator
    Call un.TakeSetupMutex
FunctionEnd

Section "Uninstall"
    Call un.WaitForProgram
    ClearErrors
    Delete "$INSTDIR\${PROGRAM_EXE}"
    ${If} ${Errors}
        SetErrorLevel 2
        Abort "Impossible de supprimer $INSTDIR\${PROGRAM_EXE}."
    ${EndIf}
    Delete "$INSTDIR\${PROGRAM_NEW}"
    Delete "$INSTDIR\${SOUNDTOUCH_DLL}"
    Delete "$INSTDIR\${SOUNDTOUCH_LICENCE}"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$INSTDIR\${UNINSTALLER}"
    ; Only when empty: files the user put there stay.
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINST_KEY}"

    ; The settings belong to the user: kept unless asked otherwise (and always by a silent run).
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "Voulez-vous aussi supprimer vos réglages de ${PRODUCT} ?" /SD IDNO IDNO keep_settings
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "Software\${COMPANY}"
keep_settings:
SectionEnd
