#!/bin/sh
# SPDX-License-Identifier: BSD-2-Clause
# The rc.d script's start and stop against zarnmix_sim, with a stand-in for
# rc.subr and logger: a boot restore that skips a missing device, or finds
# no daemon, keeps the setup file at shutdown; a full one lets the shutdown
# store over it, keeping the previous file.
# usage: rc_script_keeps_setup.sh RC_SCRIPT_IN ZARNMIX_STATE ZARNMIX_SIM
set -u
script=$1 state=$2 sim=$3
work=$(mktemp -d)
pids=
cleanup() {
	for p in $pids; do
		kill "$p" 2> /dev/null
	done
	rm -rf "$work"
}
trap cleanup EXIT

fail() {
	echo "FAIL: $*" >&2
	exit 1
}

cat > "$work/rc.subr" <<'END'
load_rc_config() { :; }
warn() { echo "WARNING: $*" >&2; }
run_rc_command() { eval "\$${1}_cmd"; }
END
mkdir "$work/bin"
printf '#!/bin/sh\necho "$*" >> "%s/log"\n' "$work" > "$work/bin/logger"
chmod +x "$work/bin/logger"
sed -e "s|/etc/rc.subr|$work/rc.subr|" \
    -e "s|@CMAKE_INSTALL_FULL_BINDIR@/zarnmix_state|$state|" "$script" > "$work/rc"

serve() { # socket, devices
	"$sim" --socket "$1" --devices "$2" > /dev/null &
	pids="$pids $!"
	n=0
	while [ ! -S "$1" ] && [ "$n" -lt 100 ]; do
		sleep 0.05
		n=$((n + 1))
	done
}
serve "$work/full.ctl" 2,3
serve "$work/one.ctl" 2

rc() { # device, command
	PATH="$work/bin:$PATH" zarnmix_state_file="$work/setup" zarnmix_state_device="$1" \
	    zarnmix_state_failed="$work/restore-failed" zarnmix_state_wait=1 \
	    sh "$work/rc" "$2" > "$work/out" 2>&1
}

"$state" -f "$work/full.ctl" store "$work/setup" || fail "first store"
cp "$work/setup" "$work/saved"
for device in "$work/one.ctl" "$work/missing.ctl"; do
	rm -f "$work/log"
	rc "$device" start
	[ -f "$work/restore-failed" ] || fail "$device: no record of the failed restore"
	rc "$device" stop
	cmp -s "$work/setup" "$work/saved" || fail "$device: the setup was stored over"
	grep -q "not storing over it" "$work/log" || fail "$device: nothing in the log"
done

rc "$work/full.ctl" start
[ ! -e "$work/restore-failed" ] || fail "a full restore was recorded as failed"
rc "$work/full.ctl" stop
cmp -s "$work/setup.prev" "$work/saved" || fail "the store kept no previous file"
"$state" -f "$work/full.ctl" restore "$work/setup" || fail "the stored file does not restore"
echo "ok"
