#!/usr/bin/env bash
# Proves the set-up from nothing: in a fresh Debian 12 minbase root, the README's run command
# (install-deps run, the build, the viewer started with no display), then install-deps test and a
# configure of every preset. A package missing from install-deps.sh fails here, by what was not found,
# however many packages the machine that runs this has installed by hand.
# Exits 0 when all of it worked, 1 when a step failed, 77 (with the reason) where it cannot run here.
# Usage: scripts/prove-setup.sh
set -uo pipefail
cd "$(dirname "$0")/.."

skip()
{
    echo "skipped: $*"
    exit 77
}
[ "$(id -u)" -eq 0 ] || skip "making a Debian root with debootstrap needs root"
command -v debootstrap >/dev/null || skip "debootstrap is not installed (bash scripts/install-deps.sh test)"
command -v git >/dev/null && git rev-parse --git-dir >/dev/null 2>&1 || skip "no git checkout to take the committed tree from"

# The base root is kept between runs, since debootstrap costs minutes, and brought up to date each
# run; the packages' files are kept beside it, so that a run downloads only what changed. Neither
# is installed into the fresh root except by what install-deps.sh names.
cache=/var/cache/zemview-setup
base=$cache/bookworm-minbase
mirror=http://deb.debian.org/debian
mkdir -p "$cache/archives/partial" "$cache/npm"

fail()
{
    echo "prove-setup: $*" >&2
    exit 1
}

if [ ! -e "$base/.complete" ]; then
    rm -rf "$base"
    echo "== debootstrap --variant=minbase bookworm (kept in $base)"
    debootstrap --variant=minbase bookworm "$base" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
        { tail -5 "$cache/debootstrap.log"; fail "debootstrap failed; its log is $cache/debootstrap.log"; }
    cat >"$base/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
EOF
    touch "$base/.complete"
fi

root=$(mktemp -d /var/tmp/zemview-root.XXXXXX)
mounted=()
cleanup()
{
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2>/dev/null; done
    rm -rf --one-file-system "$root"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

echo "== a fresh root from the base, brought up to date"
cp -a "$base/." "$root/" || fail "cannot copy the base root into $root"
rm -f "$root/.complete"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# The network's own certificates, which a fresh machine here is given too: the npm registry is
# reached through them once ca-certificates is installed.
if [ -d /usr/local/share/ca-certificates ]; then
    cp -r /usr/local/share/ca-certificates/. "$root/usr/local/share/ca-certificates/"
fi
# A root thrown away at the end needs no data kept safe from a power cut, nor a manual index.
echo force-unsafe-io >"$root/etc/dpkg/dpkg.cfg.d/zemview-throwaway"
echo 'Acquire::Languages "none";' >"$root/etc/apt/apt.conf.d/99zemview-throwaway"
mkdir -p "$root/src" "$root/root/.npm"
git archive HEAD | tar -x -C "$root/src" || fail "cannot put the committed tree into the root"

bind()
{
    mount --bind "$1" "$root$2" && mounted+=("$root$2")
}
mount -t proc proc "$root/proc" && mounted+=("$root/proc")
bind /dev /dev && bind /dev/pts /dev/pts && bind /sys /sys &&
    bind "$cache/archives" /var/cache/apt/archives && bind "$cache/npm" /root/.npm ||
    fail "cannot mount what the root needs"

# in_root COMMAND: runs a shell command in the root, as a new machine's root user would, with no
# display and only the variables such a machine has.
in_root()
{
    chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        NODE_EXTRA_CA_CERTS=/etc/ssl/certs/ca-certificates.crt CI="${CI:-}" \
        /bin/bash -c "cd /src && $1"
}

# step TITLE COMMAND: one step in the root, its lines kept; its failure ends the proof with the
# lines that name what was not found, then the step's last lines.
step()
{
    echo "== $1"
    local start=$SECONDS
    if ! in_root "$2" >"$root/tmp/step.log" 2>&1; then
        grep -E -i "could not find|not found|unable to locate|no package|missing" "$root/tmp/step.log" | grep -v "^invoke-rc.d" | sort -u | head -20
        echo "-- the step's last lines:"
        tail -15 "$root/tmp/step.log"
        fail "in a fresh Debian root, '$1' failed: what is not found there needs its Debian package in scripts/install-deps.sh"
    fi
    echo "   ($((SECONDS - start)) s)"
}

step "apt-get update and upgrade of the base" \
    "apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get -y -q upgrade &&
     echo 'man-db man-db/auto-update boolean false' | debconf-set-selections"
# The README's first command, as written: it installs, builds, and starts the viewer, which with no
# display says so in its own line and ends with status 0.
step "bash scripts/run.sh (no display)" "bash scripts/run.sh && echo viewer ended"
grep "^cannot open the viewer's window: DISPLAY is not set" "$root/tmp/step.log" ||
    { tail -5 "$root/tmp/step.log"; fail "the viewer did not say that it had no display"; }
step "bash scripts/install-deps.sh test" "bash scripts/install-deps.sh test"
# Configured as scripts/test.sh configures them.
for preset in release asan clang fuzz web; do
    testing=""
    case $preset in release | asan | clang) testing=-DBUILD_TESTING=ON ;; esac
    step "cmake --preset $preset" "cmake --preset $preset $testing"
done
echo "prove-setup: the README's commands set up and configure every tree in a fresh Debian 12 root"
