#!/usr/bin/env bash
# The installer package under Wine, in a prefix of its own: a silent install with
# DISABLESENDMESSAGE=1, the files and values it leaves, and a silent uninstall that
# takes everything of its own away and leaves the user's settings alone.
# Usage: install_test.sh <package.msi> <wine-env.sh> <prefix>
set -u
msi=$1
source "$2"
wine_env "$3"
wine_ready || exit 1
fail=0
check() { if eval "$2"; then echo "ok    $1"; else echo "FAIL  $1"; fail=1; fi; }
query() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v v="$2" '$1 == v { $1 = ""; $2 = ""; sub(/^  /, ""); print }'; }

dir="$WINEPREFIX/drive_c/Program Files/Tavrenholt/Print Mirovant"
key='HKLM\Software\Tavrenholt\Print Mirovant'
wine reg add 'HKCU\Software\Tavrenholt\Print Mirovant\Interface' /v AccInfoServer /t REG_SZ /d KEEPME /f >/dev/null 2>&1

wine msiexec /i "$(winepath -w "$msi")" /qn DISABLESENDMESSAGE=1 >/dev/null 2>&1
check "install exits 0" "[ $? -eq 0 ]"
check "the client is installed" "[ -f \"$dir/PrintMirovant.exe\" ]"
check "the language files are installed" "[ -f \"$dir/Template.lng\" ] && [ -f \"$dir/German.lng\" ]"
check "the Logs folder exists" "[ -d \"$dir/Logs\" ]"
install_dir_set() {
    wine reg query "$key" /v 'Install Directory' 2>/dev/null | tr -d '\r' |
        grep -qF 'REG_SZ    C:\Program Files\Tavrenholt\Print Mirovant\'
}
check "Install Directory is the folder, with its trailing backslash" install_dir_set
check "DisableSendMessage is 1" "[ \"$(query "$key" DisableSendMessage)\" = '0x1' ]"
check "a Start-menu shortcut" "find \"$WINEPREFIX/drive_c\" -name 'Print Mirovant Pro.lnk' | grep -q ."

wine msiexec /x "$(winepath -w "$msi")" /qn >/dev/null 2>&1
check "uninstall exits 0" "[ $? -eq 0 ]"
check "the client is removed" "[ ! -f \"$dir/PrintMirovant.exe\" ]"
check "the product key's values are removed" "[ -z \"$(query "$key" 'Install Directory')\" ]"
check "the shortcut is removed" "! find \"$WINEPREFIX/drive_c\" -name 'Print Mirovant Pro.lnk' | grep -q ."
check "the user's settings stay" "[ \"$(query 'HKCU\Software\Tavrenholt\Print Mirovant\Interface' AccInfoServer)\" = KEEPME ]"
wine_stop
exit $fail
