# Shared by scripts/ and the test emulator: the environment and the start-up of a
# private Wine prefix. Source it, then call wine_env PREFIX and wine_ready.
#
# Wine facts behind the order below:
# - DISPLAY must be set before the first Wine process of a prefix: a server that
#   started without one never creates windows.
# - winedbg is disabled, or a crashing program can exit 0.
# - The server and its services are started here with their output redirected;
#   started from a test, they would inherit ctest's pipes and ctest would wait on
#   them for ever.

wine_env() {
    export WINEPREFIX="$1"
    export WINEARCH=win64
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d;winemenubuilder.exe=d"
}

# Sets DISPLAY: the caller's own, or an Xvfb kept for this prefix.
wine_display() {
    [ -n "${DISPLAY:-}" ] && return 0
    local state="$WINEPREFIX.xvfb" num pid
    if [ -f "$state" ]; then
        read -r num pid <"$state"
        if kill -0 "$pid" 2>/dev/null && [ -S "/tmp/.X11-unix/X$num" ]; then
            export DISPLAY=":$num"
            return 0
        fi
    fi
    local fifo
    fifo=$(mktemp -u) && mkfifo "$fifo"
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" </dev/null >/dev/null 2>&1 9>&- &
    pid=$!
    read -r -t 20 num <"$fifo"
    rm -f "$fifo"
    if [ -z "$num" ]; then
        echo "wine-env: Xvfb did not start" >&2
        return 1
    fi
    echo "$num $pid" >"$state"
    export DISPLAY=":$num"
}

# Makes sure the prefix exists and its server runs (idempotent, safe in parallel).
wine_ready() {
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        wine_display || exit 1
        local stamp="$WINEPREFIX.server" pid display num
        if [ -f "$stamp" ] && read -r pid display <"$stamp" && kill -0 "$pid" 2>/dev/null; then
            # A server started on another display than this one (its Xvfb died and a new
            # one came up) makes no window there: it starts again.
            num=${display#*:}
            num=${num%%.*}
            if [ "$display" = "$DISPLAY" ] && [ -S "/tmp/.X11-unix/X$num" ]; then
                exit 0
            fi
            wineserver -k </dev/null >/dev/null 2>&1 9>&-
            wineserver -w </dev/null >/dev/null 2>&1 9>&-
        fi
        mkdir -p "$WINEPREFIX"
        # Nor the lock of whoever called (flock holds it on fd 3 and up): a persistent
        # server would hold it after its caller has finished.
        setsid wineserver -f -p </dev/null >/dev/null 2>&1 3>&- 4>&- 5>&- 6>&- 7>&- 8>&- 9>&- &
        echo "$! $DISPLAY" >"$stamp"
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            wineboot -i </dev/null >/dev/null 2>&1 9>&-
        fi
        # Wine's own fonts (fonts-wine) where the prefix finds them: title bars draw
        # their buttons with Marlett, and dialogs use Tahoma.
        local fonts="$WINEPREFIX/drive_c/windows/Fonts"
        if [ -d /usr/share/wine/fonts ] && [ ! -e "$fonts/marlett.ttf" ]; then
            mkdir -p "$fonts" && ln -sf /usr/share/wine/fonts/*.ttf "$fonts/"
        fi
        # Glyphs that Wine's Tahoma lacks come from Debian's fonts linked to it, as Windows
        # links fonts to its interface font: Japanese from IPA Gothic, Armenian from
        # DejaVu Sans. Labels, buttons, group boxes and menus show them (Wine draws bold
        # text without the link). Once per prefix: the stamp says it is done.
        if [ -f /usr/share/fonts/opentype/ipafont-gothic/ipag.ttf ] && [ ! -f "$WINEPREFIX/pm-font-link" ]; then
            wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v Tahoma \
                /t REG_MULTI_SZ /d 'ipag.ttf,IPAGothic\0DejaVuSans.ttf,DejaVu Sans' /f </dev/null >/dev/null 2>&1 9>&- &&
                touch "$WINEPREFIX/pm-font-link"
        fi
        # No window manager runs on Xvfb: windows Wine leaves to one wait 2 s for it
        # at every hide. Wine manages them itself (a virtual desktop does anyway).
        if ! grep -qs '^"Managed"="N"' "$WINEPREFIX/user.reg"; then
            wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 9>&-
        fi
        wine cmd /c exit </dev/null >/dev/null 2>&1 9>&-
        exit 0
    ) 9>"$WINEPREFIX.lock" || return 1
    # Programs the server starts must not hold the lock: every file above closes fd 9.
    wine_display
}

# Stops the prefix's server and its Xvfb.
wine_stop() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    local num pid
    if [ -f "$WINEPREFIX.xvfb" ]; then
        read -r num pid <"$WINEPREFIX.xvfb"
        kill "$pid" 2>/dev/null || true
        rm -f "$WINEPREFIX.xvfb"
    fi
    rm -f "$WINEPREFIX.server"
}
