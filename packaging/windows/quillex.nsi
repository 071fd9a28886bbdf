; The Windows installer: Quillex in Program Files, a Start-menu entry, "Open with" for the six
; file kinds (offered, never made the default program), and an uninstaller that removes all of it.
; makensis -DSTAGE=<folder of the programs> -DOUTFILE=<setup.exe> -DVERSION=<x.y> quillex.nsi
Target amd64-unicode
ManifestDPIAware true
!include "MUI2.nsh"
!include "x64.nsh"

!define APP "Quillex"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define APP_KEY "Software\Classes\Applications\quillex.exe"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${APP}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "${APP} ${VERSION}"

!define MUI_ICON "${STAGE}\..\quillex.ico"
!define MUI_UNICON "${STAGE}\..\quillex.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\quillex.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${APP}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "${APP} 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "Quillex"

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_OK|MB_ICONSTOP "Quillex 需要 64 位 Windows。"
        Abort
    ${EndIf}
    SetRegView 64
FunctionEnd

Function un.onInit
    SetRegView 64
FunctionEnd

; One file kind offered to "Open with": a ProgID of ours named under the extension's
; OpenWithProgids, and the extension among the program's supported types.
!macro OfferKind EXT DESCRIPTION
    WriteRegStr HKLM "Software\Classes\${APP}.${EXT}" "" "${DESCRIPTION}"
    WriteRegStr HKLM "Software\Classes\${APP}.${EXT}\DefaultIcon" "" "$INSTDIR\quillex.exe,0"
    WriteRegStr HKLM "Software\Classes\${APP}.${EXT}\shell\open\command" "" '"$INSTDIR\quillex.exe" "%1"'
    WriteRegNone HKLM "Software\Classes\.${EXT}\OpenWithProgids" "${APP}.${EXT}"
    WriteRegStr HKLM "${APP_KEY}\SupportedTypes" ".${EXT}" ""
!macroend

!macro WithdrawKind EXT
    DeleteRegKey HKLM "Software\Classes\${APP}.${EXT}"
    DeleteRegValue HKLM "Software\Classes\.${EXT}\OpenWithProgids" "${APP}.${EXT}"
    DeleteRegKey /ifempty HKLM "Software\Classes\.${EXT}\OpenWithProgids"
    DeleteRegKey /ifempty HKLM "Software\Classes\.${EXT}"
!macroend

Section "Quillex"
    SetOutPath "$INSTDIR"
    File /r "${STAGE}\*.*"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    SetShellVarContext all
    CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\quillex.exe" "" "$INSTDIR\quillex.exe" 0

    WriteRegStr HKLM "${APP_KEY}" "FriendlyAppName" "${APP}"
    WriteRegStr HKLM "${APP_KEY}\DefaultIcon" "" "$INSTDIR\quillex.exe,0"
    WriteRegStr HKLM "${APP_KEY}\shell\open\command" "" '"$INSTDIR\quillex.exe" "%1"'
    !insertmacro OfferKind dbf "dBASE III 表"
    !insertmacro OfferKind xls "Excel 97-2003 工作簿"
    !insertmacro OfferKind xlsx "Excel 工作簿"
    !insertmacro OfferKind csv "CSV 文档"
    !insertmacro OfferKind txt "文本文档"
    !insertmacro OfferKind mdb "Access 数据库"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${APP}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quillex.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ; Tell the shell that file associations changed.
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\${APP}.lnk"
    !insertmacro WithdrawKind dbf
    !insertmacro WithdrawKind xls
    !insertmacro WithdrawKind xlsx
    !insertmacro WithdrawKind csv
    !insertmacro WithdrawKind txt
    !insertmacro WithdrawKind mdb
    DeleteRegKey HKLM "${APP_KEY}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    RMDir /r "$INSTDIR"
    ; The working database of the user who uninstalls: scratch space, thrown away at every close.
    SetShellVarContext current
    RMDir /r "$LOCALAPPDATA\${APP}"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
