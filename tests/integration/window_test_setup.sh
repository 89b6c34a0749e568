# Set-up shared by the window tests, sourced with `name` and `shots` set: a real X display,
# Qt on it, user folders in a temporary `work` folder removed at exit, the screenshot folder,
# and `fail MESSAGE`.
#
# Under AddressSanitizer, Qt's X11 platform plug-in can leave an object of one of its threads
# behind at exit, depending on timing (186 bytes, never seen with full stack unwinding). The
# dialogs' own leaks are checked by their tests on the offscreen platform.
if [ -n "${ASAN_OPTIONS:-}" ]; then export ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0"; fi

fail() {
  echo "$name: $*" >&2
  exit 1
}

[ -n "${DISPLAY:-}" ] || fail "needs an X display (run under xvfb-run)"
unset QT_QPA_PLATFORM
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
mkdir -p "$shots"
