; What Skaldrun's installer adds to CPack's: "Open with" for playlists in Explorer, which leaves
; the extensions' default program the one the user chose, and an uninstaller that takes back
; exactly that and leaves no empty key behind.

!define SKALDRUN_PROGID "Skaldrun.Playlist"

!macro SkaldrunOfferFor EXT
  WriteRegStr SHCTX "Software\Classes\${EXT}\OpenWithProgids" "${SKALDRUN_PROGID}" ""
  WriteRegStr SHCTX "Software\Classes\Applications\skaldrun.exe\SupportedTypes" "${EXT}" ""
!macroend

!macro SkaldrunOfferOpenWith
  WriteRegStr SHCTX "Software\Classes\${SKALDRUN_PROGID}" "" "Playlist"
  WriteRegStr SHCTX "Software\Classes\${SKALDRUN_PROGID}\DefaultIcon" "" "$INSTDIR\skaldrun.exe,0"
  WriteRegStr SHCTX "Software\Classes\${SKALDRUN_PROGID}\shell\open\command" "" '"$INSTDIR\skaldrun.exe" "%1"'
  WriteRegStr SHCTX "Software\Classes\Applications\skaldrun.exe\shell\open\command" "" '"$INSTDIR\skaldrun.exe" "%1"'
  !insertmacro SkaldrunOfferFor ".m3u"
  !insertmacro SkaldrunOfferFor ".m3u8"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)' ; SHCNE_ASSOCCHANGED
!macroend

; Deletes the key on the stack if nothing is left in it: no subkey, no value, no default.
; DeleteRegKey /ifempty alone would take a key whose only content is the user's default program.
Function un.SkaldrunDeleteBareKey
  Exch $0
  Push $1
  EnumRegKey $1 SHCTX $0 0
  StrCmp $1 "" 0 keep
  EnumRegValue $1 SHCTX $0 0
  StrCmp $1 "" 0 keep
  ClearErrors
  ReadRegStr $1 SHCTX $0 ""
  IfErrors 0 keep
  DeleteRegKey SHCTX $0
keep:
  Pop $1
  Pop $0
FunctionEnd

!macro SkaldrunWithdrawFrom EXT
  DeleteRegValue SHCTX "Software\Classes\${EXT}\OpenWithProgids" "${SKALDRUN_PROGID}"
  Push "Software\Classes\${EXT}\OpenWithProgids"
  Call un.SkaldrunDeleteBareKey
  Push "Software\Classes\${EXT}"
  Call un.SkaldrunDeleteBareKey
!macroend

!macro SkaldrunWithdrawOpenWith
  !insertmacro SkaldrunWithdrawFrom ".m3u"
  !insertmacro SkaldrunWithdrawFrom ".m3u8"
  DeleteRegKey SHCTX "Software\Classes\${SKALDRUN_PROGID}"
  DeleteRegKey SHCTX "Software\Classes\Applications\skaldrun.exe"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
!macroend

; The vendor's key, emptied by the uninstaller's own steps, which read the Start menu's folder
; from below it until their end.
Function un.onUninstSuccess
  DeleteRegKey /ifempty SHCTX "${SKALDRUN_VENDOR_KEY}"
FunctionEnd
