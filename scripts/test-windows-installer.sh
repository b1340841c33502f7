#!/usr/bin/env bash
# Installs OrvQ-<version>-setup.exe silently in a fresh Wine prefix, runs the
# installed orvq-cli.exe demo there, uninstalls it silently and checks that
# the program is gone while the user's settings, ledger and logs stay.
# Needs the Windows build (scripts/build-windows.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
tree=${WINDOWS_BUILD:-build-windows}
setup=$(ls "$tree"/OrvQ-*-setup.exe 2>/dev/null | tail -1)
[ -n "$setup" ] || { echo "no installer in $tree: run scripts/build-windows.sh" >&2; exit 1; }

export WINEPREFIX=$(realpath "$tree")/wine/installer-test
export WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
# Nothing of the build's: the installed program must find its own DLLs.
unset WINEPATH QT_PLUGIN_PATH
rm -rf "$WINEPREFIX"
mkdir -p "$(dirname "$WINEPREFIX")"
wineboot -i >/dev/null 2>&1
wineserver -w

failures=0
check() {
    if eval "$2"; then
        echo "ok      $1"
    else
        echo "FAILED  $1"
        failures=$((failures + 1))
    fi
}

user=$(wine cmd /c echo %USERNAME% 2>/dev/null | tr -d '\r')
local_app_data=$WINEPREFIX/drive_c/users/$user/AppData/Local
program_dir=$local_app_data/Programs/OrvQ
start_menu=$WINEPREFIX/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/OrvQ

wine "$setup" /S
wineserver -w
check "installed per user in %LOCALAPPDATA%\\Programs\\OrvQ" '[ -f "$program_dir/orvq-cli.exe" ] && [ -f "$program_dir/orvq.exe" ]'
check "Qt's platform, style, SQL and print plugins installed" \
    '[ -f "$program_dir/platforms/qwindows.dll" ] && [ -f "$program_dir/styles/qwindowsvistastyle.dll" ] && [ -f "$program_dir/sqldrivers/qsqlite.dll" ] && [ -f "$program_dir/printsupport/windowsprintersupport.dll" ]'
check "the data files installed" '[ -f "$program_dir/orvq.red" ] && [ -f "$program_dir/samples/s1910-sample.txt" ] && [ -d "$program_dir/demo" ]'
check "a Start-menu entry" '[ -f "$start_menu/Orvane QB Export.lnk" ]'

# The demo, run from the installed folder alone.
demo_log=$WINEPREFIX/demo.txt
set +e
wine "$program_dir/orvq-cli.exe" demo >"$demo_log" 2>&1
demo_rc=$?
set -e
sed 's/^/    demo: /' "$demo_log"
echo "    demo exit code: $demo_rc"
# Without QuickBooks (there is none under Wine) the demo must end with the
# user told so, not with a crash or a missing DLL.
check "the installed demo runs and reaches QuickBooks' door" \
    'grep -q "into the QuickBooks company" "$demo_log" && grep -qi "QuickBooks" "$demo_log" && [ $demo_rc -lt 128 ]'
check "the demo wrote the user's log" '[ -f "$local_app_data/OrvQ/OrvQ.log" ]'

# The user's own things, which the uninstaller must leave.
mkdir -p "$local_app_data/OrvQ"
echo kept >"$local_app_data/OrvQ/ledger.sqlite.probe"
wine reg add 'HKCU\Software\Zantrel\OrvQ' /v InstallerTestProbe /d kept /f >/dev/null 2>&1

wine "$program_dir/Uninstall.exe" /S
wineserver -w
check "the uninstaller removed the program" '[ ! -e "$program_dir" ]'
check "the uninstaller removed the Start-menu entry" '[ ! -e "$start_menu" ]'
check "the user's settings stay" \
    'wine reg query "HKCU\\Software\\Zantrel\\OrvQ" /v InstallerTestProbe 2>/dev/null | grep -q kept'
check "the user's ledger and logs stay" \
    '[ -f "$local_app_data/OrvQ/ledger.sqlite.probe" ] && [ -f "$local_app_data/OrvQ/OrvQ.log" ]'

wineserver -k || true
if [ $failures -ne 0 ]; then
    echo "installer test: $failures check(s) failed"
    exit 1
fi
echo "installer test: passed"
