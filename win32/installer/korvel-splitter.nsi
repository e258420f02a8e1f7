; SPDX-License-Identifier: GPL-3.0-or-later
; The Windows installer of Korvel文件分割器: 64-bit, Simplified Chinese pages, for all users.
; It installs the program and the command line korvel.exe (not put on PATH) with their licence
; texts, a Start menu entry and an uninstaller listed in Apps & features; registers a ProgID
; for list files (.FLF), offered for them under OpenWithProgids and made their program only
; where they have none yet; offers the program in "Open with" for any file; and adds a verb
; that splits any file to its right-click menu. The uninstaller removes what the installer
; added and nothing else. /S installs and uninstalls silently.
; makensis -DVERSION=1.0.0 -DVERSION_QUAD=1.0.0.0 -DPROGRAM=korvel-splitter.exe
;          -DCOMMAND_LINE=korvel.exe -DLICENCES=folder -DICON=korvel.ico -DOUTFILE=setup.exe
;          korvel-splitter.nsi
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"

!define NAME "Korvel文件分割器"
!define WINDOW_CLASS "KorvelSplitterWindow"
!define PROGID "Korvel.Splitter.List"
!define EXE "korvel-splitter.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KorvelSplitter"
!define CLASSES "Software\Classes"
; The right-click verb of every file, and the command that makes it ours.
!define SPLIT_VERB "${CLASSES}\*\shell\KorvelSplitter.Split"
!define SPLIT_COMMAND '"$INSTDIR\${EXE}" --split "%1"'

Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Korvel Splitter"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${NAME} ${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENCES}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${NAME}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "${NAME} 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "Korvel 软件工作室"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "GPL-3.0-or-later"

; A running copy holds its program file open: ask the user to close it first. Silently, the
; answer is Cancel and nothing is installed or removed.
!macro CloseRunningCopy
  ${Do}
    FindWindow $0 "${WINDOW_CLASS}"
    ${If} $0 == 0
      ${Break}
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${NAME}正在运行。请先关闭它，然后点“重试”。" /SD IDCANCEL IDRETRY +2
    Abort
  ${Loop}
!macroend

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "${NAME}只能安装在 64 位 Windows 上。" /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
  !insertmacro CloseRunningCopy
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
  !insertmacro CloseRunningCopy
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  File "${PROGRAM}"
  File "${COMMAND_LINE}"
  File "${LICENCES}\LICENSE.txt"
  File "${LICENCES}\GCC-RUNTIME-LIBRARY-EXCEPTION.txt"
  File "${LICENCES}\WINPTHREADS-LICENSE.txt"
  File "${LICENCES}\MINGW-W64-RUNTIME-LICENSE.txt"
  File "${LICENCES}\FAST-FLOAT-LICENSE.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0

  ; Apps & features.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Korvel 软件工作室"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; List files: the program opens one in its merge panel, ready to merge.
  WriteRegStr HKLM "${CLASSES}\${PROGID}" "" "Korvel 列表文件"
  WriteRegStr HKLM "${CLASSES}\${PROGID}" "FriendlyTypeName" "Korvel 列表文件（.FLF）"
  WriteRegStr HKLM "${CLASSES}\${PROGID}\DefaultIcon" "" "$INSTDIR\${EXE},0"
  WriteRegStr HKLM "${CLASSES}\${PROGID}\shell\open\command" "" '"$INSTDIR\${EXE}" "%1"'
  ; .FLF: remember whether its key was there, and make the ProgID its program only where it
  ; has none, so that the uninstaller takes back exactly what was added.
  ClearErrors
  EnumRegKey $0 HKLM "${CLASSES}\.FLF" 0
  ${If} ${Errors}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "AddedListExtension" 1
  ${EndIf}
  WriteRegStr HKLM "${CLASSES}\.FLF\OpenWithProgids" "${PROGID}" ""
  ReadRegStr $0 HKCR ".FLF" ""
  ${If} $0 == ""
    WriteRegStr HKLM "${CLASSES}\.FLF" "" "${PROGID}"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "MadeListFilesDefault" 1
  ${EndIf}
  ; "Open with" for any file: the split panel with the path filled in.
  WriteRegStr HKLM "${CLASSES}\Applications\${EXE}" "FriendlyAppName" "${NAME}"
  WriteRegStr HKLM "${CLASSES}\Applications\${EXE}\DefaultIcon" "" "$INSTDIR\${EXE},0"
  WriteRegStr HKLM "${CLASSES}\Applications\${EXE}\shell\open\command" "" '"$INSTDIR\${EXE}" "%1"'
  WriteRegStr HKLM "${CLASSES}\*\OpenWithList\${EXE}" "" ""
  ; "Split" in the right-click menu of any file (on Windows 11 under 显示更多选项): the split
  ; panel with the file, whatever it is. No default verb is set, so a list file still opens
  ; in the merge panel.
  WriteRegStr HKLM "${SPLIT_VERB}" "" "用 ${NAME} 分割"
  WriteRegStr HKLM "${SPLIT_VERB}" "Icon" "$INSTDIR\${EXE},0"
  WriteRegStr HKLM "${SPLIT_VERB}\command" "" '${SPLIT_COMMAND}'
  ; Tell the shell that associations changed (SHCNE_ASSOCCHANGED, SHCNF_IDLIST).
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${NAME}.lnk"
  Delete "$INSTDIR\${EXE}"
  Delete "$INSTDIR\korvel.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\GCC-RUNTIME-LIBRARY-EXCEPTION.txt"
  Delete "$INSTDIR\WINPTHREADS-LICENSE.txt"
  Delete "$INSTDIR\MINGW-W64-RUNTIME-LICENSE.txt"
  Delete "$INSTDIR\FAST-FLOAT-LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "MadeListFilesDefault"
  ReadRegStr $1 HKLM "${CLASSES}\.FLF" ""
  ${If} $0 == 1
  ${AndIf} $1 == "${PROGID}"
    DeleteRegValue HKLM "${CLASSES}\.FLF" ""
  ${EndIf}
  DeleteRegValue HKLM "${CLASSES}\.FLF\OpenWithProgids" "${PROGID}"
  ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "AddedListExtension"
  ${If} $0 == 1
    DeleteRegKey /ifempty HKLM "${CLASSES}\.FLF\OpenWithProgids"
    DeleteRegKey /ifempty HKLM "${CLASSES}\.FLF"
  ${EndIf}
  DeleteRegKey HKLM "${CLASSES}\${PROGID}"
  DeleteRegKey HKLM "${CLASSES}\Applications\${EXE}"
  DeleteRegKey HKLM "${CLASSES}\*\OpenWithList\${EXE}"
  ; The verb only while its command is still ours: another program may have taken it over.
  ReadRegStr $0 HKLM "${SPLIT_VERB}\command" ""
  ${If} $0 == '${SPLIT_COMMAND}'
    DeleteRegKey HKLM "${SPLIT_VERB}"
  ${EndIf}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
