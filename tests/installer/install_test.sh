#!/usr/bin/env bash
# The installer package under Wine, in a prefix of its own: a silent install with
# DISABLESENDMESSAGE=1 and AUTOSTART=1, the files and values it leaves, and a silent uninstall that
# takes everything of its own away and leaves the user's settings alone.
# Then the same package one build later replaces it (one entry in the list of
# installed programs) and keeps the properties the first one was given, unless the
# upgrade gives new ones. The 32-bit package refuses 64-bit Windows; the package and
# the programs are signed and verified with a certificate made here.
# The installed client, started from there, reads its language file from the
# installation folder and writes its log under Logs, in the file the installer made.
# Usage: install_test.sh <package.msi> <wine-env.sh> <prefix> <next package.msi> <build folder>
#                        <32-bit package.msi> <scripts folder>
set -u
msi=$1
next=$4
bin=$5
x86=$6
scripts=$7
source "$2"
wine_env "$3"
# A fresh prefix every time: nothing of an earlier run may count.
wine_stop
rm -rf "$3" "$3".lock
wine_ready || exit 1
fail=0
check() { if eval "$2"; then echo "ok    $1"; else echo "FAIL  $1"; fail=1; fi; }
query() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v v="$2" '$1 == v { $1 = ""; $2 = ""; sub(/^  /, ""); print }'; }

dir="$WINEPREFIX/drive_c/Program Files/Tavrenholt/Print Mirovant"
key='HKLM\Software\Tavrenholt\Print Mirovant'
wine reg add 'HKCU\Software\Tavrenholt\Print Mirovant\Interface' /v AccInfoServer /t REG_SZ /d KEEPME /f >/dev/null 2>&1

wine msiexec /i "$(winepath -w "$msi")" /qn DISABLESENDMESSAGE=1 AUTOSTART=1 >/dev/null 2>&1
check "install exits 0" "[ $? -eq 0 ]"
check "the client is installed" "[ -f \"$dir/PrintMirovant.exe\" ]"
check "the self-check is installed beside it" "[ -f \"$dir/PrintMirovantCheck.exe\" ]"
# Every language file of the tree (and the template), as it is there.
lang="$scripts/../lang"
not_installed=
for file in "$lang"/*.lng; do
    cmp -s "$file" "$dir/$(basename "$file")" || not_installed="$not_installed $(basename "$file")"
done
check "every language file is installed${not_installed:+ (not:$not_installed)}" "[ -z \"$not_installed\" ]"
check "the Logs folder exists" "[ -d \"$dir/Logs\" ]"
check "the installer makes an empty Errors.log in it, as users may not" "[ -f \"$dir/Logs/Errors.log\" ] && [ ! -s \"$dir/Logs/Errors.log\" ]"
install_dir_set() {
    wine reg query "$key" /v 'Install Directory' 2>/dev/null | tr -d '\r' |
        grep -qF 'REG_SZ    C:\Program Files\Tavrenholt\Print Mirovant\'
}
check "Install Directory is the folder, with its trailing backslash" install_dir_set
check "DisableSendMessage is 1" "[ \"$(query "$key" DisableSendMessage)\" = '0x1' ]"
run='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
check "AUTOSTART=1 starts the client for every user" "[ -n \"$(query "$run" 'Print Mirovant Pro' 2>/dev/null)\" ] || wine reg query \"$run\" 2>/dev/null | grep -q 'Print Mirovant Pro'"
check "a Start-menu shortcut" "find \"$WINEPREFIX/drive_c\" -name 'Print Mirovant Pro.lnk' | grep -q ."
check "the stand-in print server only when asked for" "[ ! -e \"$dir/PrintServerSim.exe\" ]"
arp=$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r')
# Wine's installer writes no DisplayIcon: the package must name the icon it carries.
check "an icon, a help link and a contact among the installed programs" \
    "msiinfo export \"$msi\" Property | grep -q '^ARPPRODUCTICON	ProductIcon' &&
     msiinfo export \"$msi\" Icon | grep -q '^ProductIcon' &&
     grep -q 'HelpLink.*tavrenholt' <<<\"\$arp\" && grep -q 'Contact.*support@' <<<\"\$arp\""

# The installed client in German, and a job whose answer must not be sent: a log entry.
wine reg add 'HKCU\Software\Tavrenholt\Print Mirovant\Interface' /v Language /t REG_SZ /d German /f >/dev/null 2>&1
setsid wine "$dir/PrintMirovant.exe" </dev/null >/dev/null 2>&1 &
for _ in $(seq 1 100); do
    wine "$bin/PrintMirovantDriver.exe" title PrintMirovant.Messages >/dev/null 2>&1 && break
    sleep 0.3
done
title=$(wine "$bin/PrintMirovantDriver.exe" title PrintMirovant.Messages 2>/dev/null | tr -d '\r')
check "the installed client reads German.lng from its folder" "[ \"$title\" = 'Print Mirovant Pro - Nachrichten' ]"
# The installed self-check sees what the installed client uses.
selfcheck=$(wine "$dir/PrintMirovantCheck.exe" 2>/dev/null | tr -d '\r')
sees() { printf '%s\n' "$selfcheck" | grep -qxF "$1"; }
sees_start() { printf '%s\n' "$selfcheck" | grep -q "^$1"; }
check "the self-check finds the installation folder" "sees 'OK   installation directory: C:\Program Files\Tavrenholt\Print Mirovant\ (Install Directory)'"
check "the self-check finds German.lng" "sees 'OK   language: German, C:\Program Files\Tavrenholt\Print Mirovant\German.lng'"
# And every other language's file, each chosen in turn.
not_found=
for file in "$lang"/*.lng; do
    language=$(basename "$file" .lng)
    [ "$language" = Template ] && continue
    wine reg add 'HKCU\Software\Tavrenholt\Print Mirovant\Interface' /v Language /t REG_SZ /d "$language" /f >/dev/null 2>&1
    wine "$dir/PrintMirovantCheck.exe" 2>/dev/null | tr -d '\r' |
        grep -qxF "OK   language: $language, C:\Program Files\Tavrenholt\Print Mirovant\\$language.lng" ||
        not_found="$not_found $language"
done
check "the self-check finds every language file${not_found:+ (not:$not_found)}" "[ -z \"$not_found\" ]"
check "the self-check finds the client serving its pipe" "sees_start 'OK   own pipe: '"
check "the self-check reads DisableSendMessage from the product key" "sees 'OK   DisableSendMessage: 1 (product key): \"Send Message...\" hidden'"
wine "$bin/PrintServerSim.exe" push-job --server 'a/b' --mode 1 >/dev/null 2>&1
for _ in $(seq 1 50); do
    wine "$bin/PrintMirovantDriver.exe" press PrintMirovant.Authentication 2 >/dev/null 2>&1 && break
    sleep 0.3
done
for _ in $(seq 1 50); do
    grep -q '] 180 JobAnswer' "$dir/Logs/Errors.log" 2>/dev/null && break
    sleep 0.2
done
check "the installed client writes its log under Logs" "grep -q '] 180 JobAnswer: server name refused: a/b' \"$dir/Logs/Errors.log\""
wine "$bin/PrintMirovantDriver.exe" exit >/dev/null 2>&1
for _ in $(seq 1 50); do
    pgrep -f 'Print Mirovant.PrintMirovant.exe' >/dev/null || break
    sleep 0.2
done

wine msiexec /x "$(winepath -w "$msi")" /qn >/dev/null 2>&1
check "uninstall exits 0" "[ $? -eq 0 ]"
check "the client and the self-check are removed" "[ ! -f \"$dir/PrintMirovant.exe\" ] && [ ! -f \"$dir/PrintMirovantCheck.exe\" ]"
check "the product key's values are removed" "[ -z \"$(query "$key" 'Install Directory')\" ]"
check "the shortcut is removed" "! find \"$WINEPREFIX/drive_c\" -name 'Print Mirovant Pro.lnk' | grep -q ."
check "the start at logon is removed" "! wine reg query \"$run\" 2>/dev/null | grep -q 'Print Mirovant Pro'"
check "the user's settings stay" "[ \"$(query 'HKCU\Software\Tavrenholt\Print Mirovant\Interface' AccInfoServer)\" = KEEPME ]"
entries() {
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
        grep -c 'DisplayName    REG_SZ    Print Mirovant Pro$'
}
settings() {
    echo "$(query "$key" PrintServers)|$(query "$key" DisableSendMessage)|$(wine reg query "$run" /v 'Print Mirovant Pro' 2>/dev/null | grep -c PrintMirovant.exe)"
}
wine msiexec /i "$(winepath -w "$msi")" /qn PRINTSERVERS=PS1 AUTOSTART=1 DISABLESENDMESSAGE=1 >/dev/null 2>&1
check "one entry among the installed programs" "[ \"$(entries)\" = 1 ]"
wine msiexec /i "$(winepath -w "$next")" /qn >/dev/null 2>&1
check "an upgrade leaves one entry" "[ \"$(entries)\" = 1 ]"
check "an upgrade without properties keeps PrintServers, the start at logon and DisableSendMessage" \
    "[ \"$(settings)\" = 'PS1|0x1|1' ]"
wine msiexec /x "$(winepath -w "$next")" /qn >/dev/null 2>&1
check "no entry after uninstalling the upgrade" "[ \"$(entries)\" = 0 ]"
check "uninstalling clears PrintServers and the start at logon" "[ \"$(settings)\" = '||0' ]"
wine msiexec /i "$(winepath -w "$msi")" /qn PRINTSERVERS=PS1 AUTOSTART=1 DISABLESENDMESSAGE=1 >/dev/null 2>&1
wine msiexec /i "$(winepath -w "$next")" /qn PRINTSERVERS=PS2 AUTOSTART=0 DISABLESENDMESSAGE=0 ADDLOCAL=ALL >/dev/null 2>&1
check "the upgrade's own properties win" "[ \"$(settings)\" = 'PS2|0x0|0' ]"
check "ADDLOCAL=ALL installs the stand-in print server" "[ -f \"$dir/PrintServerSim.exe\" ]"
wine msiexec /x "$(winepath -w "$next")" /qn >/dev/null 2>&1

wine msiexec /i "$(winepath -w "$x86")" /qn >/dev/null 2>&1
status=$?
# 1603 reaches the shell as its low eight bits, 67.
check "the 32-bit package refuses 64-bit Windows (1603) and installs nothing" \
    "[ -f \"$x86\" ] && [ $status -eq $((1603 % 256)) ] && [ \"$(entries)\" = 0 ]"

# Signing: a code-signing certificate of our own, and signatures that verify against it.
signing=$(mktemp -d)
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Print Mirovant test signing' \
    -addext extendedKeyUsage=codeSigning -keyout "$signing/key.pem" -out "$signing/cert.pem" >/dev/null 2>&1
echo secret >"$signing/password"
openssl pkcs12 -export -inkey "$signing/key.pem" -in "$signing/cert.pem" -passout file:"$signing/password" \
    -out "$signing/sign.pfx" >/dev/null 2>&1
cp "$bin/PrintMirovant.exe" "$msi" "$signing/"
PM_SIGN_PKCS12="$signing/sign.pfx" PM_SIGN_PASSWORD_FILE="$signing/password" \
    "$scripts/sign" "$signing/PrintMirovant.exe" "$signing/$(basename "$msi")"
verified() { osslsigncode verify -CAfile "$signing/cert.pem" -in "$1" 2>&1 | grep -q 'Signature verification: ok'; }
check "scripts/sign signs the programs and the package, and both verify" \
    "verified \"$signing/PrintMirovant.exe\" && verified \"$signing/$(basename "$msi")\" && ! verified \"$bin/PrintMirovant.exe\""
rm -rf "$signing"
wine_stop
exit $fail
