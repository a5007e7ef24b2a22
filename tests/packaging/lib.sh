# Shared by the packaging tests: a scratch folder removed at exit, installs of the build, checks
# that count failures, and windows found by their exact title.
set -euo pipefail

build=${ZEM_BUILD_DIR:?the build folder}
source_dir=${ZEM_SOURCE_DIR:?the source folder}
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
background=()
failures=0

cleanup()
{
    local pid
    for pid in "${background[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true; done
    rm -rf "$scratch"
}
trap cleanup EXIT

fail()
{
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# check DESCRIPTION COMMAND...: runs the command and counts a failure when it fails.
check()
{
    local what=$1
    shift
    "$@" || fail "$what"
}

finish()
{
    if ((failures)); then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    echo "all checks passed"
}

# skip_without_namespaces: ends the test as skipped (status 77) where bubblewrap cannot make its
# namespaces, as in a container or a chroot, saying so.
skip_without_namespaces()
{
    local why
    if ! why=$(bwrap --unshare-all --ro-bind / / true 2>&1); then
        echo "SKIPPED: this machine cannot make namespaces for bubblewrap: $why"
        exit 77
    fi
}

# install_tree DESTDIR [PREFIX]: the build installed as a package build stages it.
install_tree()
{
    DESTDIR=$1 cmake --install "$build" --prefix "${2:-/usr/local}" >/dev/null
}

# window_with_title TITLE SECONDS: prints the id of the window titled exactly TITLE once it shows.
window_with_title()
{
    local title=$1 tries=$(($2 * 10)) id
    while ((tries-- > 0)); do
        id=$(xwininfo -root -tree | grep -F -- "\"$title\": " | awk '{print $1}' | head -n 1)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# exit_status_within PID SECONDS: sets exit_status to that of a background job of this shell once
# it ends (not from a subshell, which cannot wait for it), or fails when it is still running.
exit_status_within()
{
    local pid=$1 tries=$(($2 * 10))
    while ((tries-- > 0)); do
        if ! kill -0 "$pid" 2>/dev/null; then
            exit_status=0
            wait "$pid" || exit_status=$?
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# close_window ID: Escape, the viewer's own way out. The window may be gone before the key's
# release is sent, which is no fault.
close_window()
{
    xdotool key --window "$1" Escape 2>/dev/null || true
}
