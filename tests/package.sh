#!/usr/bin/env bash
# The operator's kit, checked as root on a Debian machine:
#  - cmake --install lays out the expected tree; the manual page renders without a warning;
#    the unit passes systemd-analyze verify and keeps its hardening;
#  - the Debian package passes lintian, installs with dpkg -i, the installed agent (run as
#    the unit runs it: unprivileged, with CAP_NET_BIND_SERVICE alone, the community from
#    the environment file) answers snmpget -v1 in a network namespace, and dpkg -r and
#    dpkg -P remove it;
#  - examples/snmp.yml, served by Debian's prometheus-snmp-exporter in the namespace,
#    scrapes the agent (built here, serving the sample serial board) without an error.
# Without root or namespaces the parts that need them skip with a message, or fail with
# SNMPD_REQUIRE_NETNS=1. Builds into build-package/.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

# shellcheck source=tests/check.sh
. tests/check.sh
skip() {
  if [ "${SNMPD_REQUIRE_NETNS:-0}" = 1 ]; then
    failed=$((failed + 1))
    echo "FAIL - $1 (SNMPD_REQUIRE_NETNS=1)"
  else
    echo "SKIP - $1"
  fi
}

verify() {  # verify UNIT [PREFIX...]: systemd-analyze verify, failing on any complaint too
  local out
  out=$("${@:2}" systemd-analyze verify --man=no "$1" 2>&1) && [ -z "$out" ] || { echo "$out"; false; }
}
wait_udp() {  # wait_udp PORT: true once a UDP socket of the namespace is bound to PORT
  for _ in $(seq 100); do
    [ -n "$("${in_ns[@]}" ss -Hlun "sport = :$1")" ] && return 0
    sleep 0.1
  done
  return 1
}

# dpkg -i, the installed agent, dpkg -r and dpkg -P on a copy of this machine: an overlay
# of / in a mount namespace of this process alone (run through unshare), so that the
# machine's own packages stay as they are. Debian's snmpd is installed in the copy first,
# where it can be, to see the package take its place.
fresh_machine() {
  local deb=$1 work=$2 ns=$3 m=$2/overlay/root
  in_ns=(ip netns exec "$ns")
  mkdir -p "$work/overlay"
  mount -t tmpfs tmpfs "$work/overlay"
  mkdir "$work/overlay/upper" "$work/overlay/work" "$m"
  mount -t overlay overlay \
    -o "lowerdir=/,upperdir=$work/overlay/upper,workdir=$work/overlay/work" "$m"
  mount --rbind /proc "$m/proc"
  mount --rbind /dev "$m/dev"
  printf '#!/bin/sh\nexit 101\n' >"$m/usr/sbin/policy-rc.d"  # no service starts in the copy
  chmod 755 "$m/usr/sbin/policy-rc.d"
  cp "$deb" "$m/tmp/package.deb"
  in_root() { chroot "$m" "$@"; }
  state() { in_root dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null || true; }

  [ "$(state snmpd)" = installed ] ||
    DEBIAN_FRONTEND=noninteractive in_root apt-get install -y --no-install-recommends snmpd \
      </dev/null >/dev/null 2>&1 || true
  if [ "$(state snmpd)" = installed ]; then
    check "dpkg -i installs the package in place of Debian's snmpd" bash -c '
      chroot "$1" dpkg -i /tmp/package.deb &&
      [ "$(chroot "$1" dpkg-query -W -f="\${db:Status-Status}" snmpd)" != installed ] &&
      [ "$(chroot "$1" dpkg -S /usr/sbin/snmpd)" = "snmpd-embedded: /usr/sbin/snmpd" ]' _ "$m"
  else
    echo "SKIP - Debian's snmpd could not be installed in the copy: no replacement seen"
    check "dpkg -i installs the package" in_root dpkg -i /tmp/package.deb
  fi
  check "the installed unit passes systemd-analyze verify" \
    verify /lib/systemd/system/snmpd.service chroot "$m"
  # As the unit runs it: an unprivileged user, CAP_NET_BIND_SERVICE alone, no new
  # privileges, the community from the environment file.
  sed -i 's/^SNMPD_COMMUNITY=.*/SNMPD_COMMUNITY=pkgtest/' "$m/etc/default/snmpd-embedded"
  # shellcheck disable=SC1091
  community=$(. "$m/etc/default/snmpd-embedded" && echo "$SNMPD_COMMUNITY")
  "${in_ns[@]}" chroot "$m" setpriv --reuid=nobody --regid=nogroup --clear-groups \
    --no-new-privs --inh-caps=-all,+net_bind_service --ambient-caps=-all,+net_bind_service \
    --bounding-set=-all,+net_bind_service /usr/sbin/snmpd -f -c "$community" \
    >"$work/installed.log" 2>&1 &
  local installed=$!
  check "the installed agent binds port 161 unprivileged" wait_udp 161
  check "the installed agent answers snmpget -v1" bash -c '
    out=$("${@:2}" snmpget -v1 -c pkgtest -t 2 -r 2 10.11.12.1 1.3.6.1.2.1.1.5.0 1.3.6.1.2.1.2.1.0) &&
    grep -q "INTEGER: 3" <<<"$out" || { echo "$out"; cat "$1"; false; }' _ "$work/installed.log" "${in_ns[@]}"
  { kill "$installed" && wait "$installed"; } 2>/dev/null || true
  check "dpkg -r removes the package and keeps only its conffile" bash -c '
    chroot "$1" dpkg -r snmpd-embedded && [ ! -e "$1/usr/sbin/snmpd" ] &&
    [ ! -e "$1/lib/systemd/system/snmpd.service" ] && [ -e "$1/etc/default/snmpd-embedded" ] &&
    [ "$(chroot "$1" dpkg-query -W -f="\${db:Status-Status}" snmpd-embedded)" = config-files ]' _ "$m"
  check "dpkg -P purges the conffile" bash -c '
    chroot "$1" dpkg -P snmpd-embedded && [ ! -e "$1/etc/default/snmpd-embedded" ] &&
    ! chroot "$1" dpkg-query -W snmpd-embedded 2>/dev/null' _ "$m"
  ((failed == 0))
}
if [ "${1:-}" = --fresh-machine ]; then
  fresh_machine "$2" "$3" "$4"
  exit
fi
scripts/deps systemd groff-base lintian dpkg-dev prometheus-snmp-exporter curl util-linux

work=$(mktemp -d)
ns=""
cleanup() {
  if [ -n "$ns" ]; then
    for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -9 "$pid" 2>/dev/null || true; done
    ip netns del "$ns" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

dir=build-package
cmake -S . -B "$dir" -G Ninja --no-warn-unused-cli -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  >/dev/null
cmake --build "$dir" --target snmpd >/dev/null

# --- the installed tree -------------------------------------------------------------
prefix=$work/prefix
cmake --install "$dir" --prefix "$prefix" >/dev/null
unit=$prefix/lib/systemd/system/snmpd.service
expected="etc/default/snmpd-embedded
lib/systemd/system/snmpd.service
sbin/snmpd
share/doc/snmpd-embedded/copyright
share/man/man8/snmpd.8"
check "cmake --install lays out the expected files" \
  test "$(cd "$prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)" = "$expected"
check "the unit runs the installed agent with the installed environment file" bash -c '
  grep -qx "ExecStart=$1/sbin/snmpd -f -c \${SNMPD_COMMUNITY} \$SNMPD_ARGS" "$2" &&
  grep -qx "EnvironmentFile=-$1/etc/default/snmpd-embedded" "$2"' _ "$prefix" "$unit"
check "groff -ww -z -man renders the manual page without a warning" \
  bash -c '[ -z "$(groff -ww -z -man "$1" 2>&1)" ]' _ "$prefix/share/man/man8/snmpd.8"
check "systemd-analyze verify passes on the unit" verify "$unit"
security=$(systemd-analyze security --offline=yes "$unit" 2>&1 || true)
exposure=$(sed -n 's/.*Overall exposure level for snmpd.service: \([0-9.]*\).*/\1/p' <<<"$security")
echo "    systemd-analyze security: exposure ${exposure:-unknown}"
check "the unit's exposure stays at most 2.0" awk -v e="${exposure:-99}" 'BEGIN { exit !(e <= 2.0) }'

# --- the package ----------------------------------------------------------------------
(cd "$dir" && cpack -G DEB >/dev/null 2>&1) || { echo "cpack failed" >&2; exit 1; }
deb=$(ls "$dir"/snmpd-embedded_*_*.deb)
# Its one remaining note: no init.d script beside the unit.
check "lintian finds nothing in the package, down to its notes" lintian --fail-on error,warning,info \
  --display-level '>=info' --suppress-tags package-supports-alternative-init-but-no-init.d-script "$deb"
check "the package holds the compressed manual page and the conffile" bash -c '
  dpkg-deb -c "$1" | grep -q " ./usr/share/man/man8/snmpd.8.gz$" &&
  dpkg-deb -c "$1" | grep -q " ./lib/systemd/system/snmpd.service$" &&
  [ "$(dpkg-deb -f "$1" Conflicts)" = snmpd ] &&
  dpkg-deb --ctrl-tarfile "$1" | tar -xO ./conffiles | grep -qx /etc/default/snmpd-embedded' _ "$deb"

namespace_ok=0
if [ "$(id -u)" -eq 0 ] && ns=snmpd-package-$$ && ip netns add "$ns" 2>/dev/null; then
  in_ns=(ip netns exec "$ns")
  ip -n "$ns" link set lo up
  ip -n "$ns" link add eth0 type veth peer name eth1
  ip -n "$ns" addr add 10.11.12.1/24 dev eth0
  ip -n "$ns" addr add 10.11.12.2/24 dev eth1
  ip -n "$ns" link set eth0 up
  ip -n "$ns" link set eth1 up
  namespace_ok=1
else
  ns=""
fi

if ((!namespace_ok)); then
  skip "installing the package and running the agent need root and network namespaces"
else
  inner=$(unshare --mount --propagation private "$0" --fresh-machine "$deb" "$work" "$ns" 2>&1) &&
    status=0 || status=$?
  printf '%s\n' "$inner"
  passed=$((passed + $(grep -c '^ok - ' <<<"$inner" || true)))
  failed=$((failed + $(grep -c '^FAIL - ' <<<"$inner" || true)))
  if ((status != 0)) && ! grep -q '^FAIL - ' <<<"$inner"; then
    check "the package checks ran to their end" false
  fi
fi

# --- the exporter module --------------------------------------------------------------
if ((!namespace_ok)); then
  skip "the exporter check needs root and network namespaces"
else
  scripts/sample-root "$work/root"
  "${in_ns[@]}" env SNMPD_ROOT="$work/root" "$dir/snmpd" -f -p 1161 >"$work/agent.log" 2>&1 &
  agent=$!
  "${in_ns[@]}" prometheus-snmp-exporter --config.file="$source_dir/examples/snmp.yml" \
    --web.listen-address=127.0.0.1:9116 >"$work/exporter.log" 2>&1 &
  exporter=$!
  check "the agent serving the sample board binds port 1161" wait_udp 1161
  scrape=$work/scrape.txt
  for _ in $(seq 50); do
    "${in_ns[@]}" curl -sf -o "$scrape" \
      'http://127.0.0.1:9116/snmp?module=snmpd&target=10.11.12.1:1161' && break
    sleep 0.2
  done
  series() { grep -c "^$1[{ ]" "$scrape" || true; }
  check "the exporter scrapes the agent with examples/snmp.yml, with no error" bash -c '
    grep -q "^snmp_scrape_pdus_returned " "$1" && ! grep -q "level=error" "$2" ||
      { cat "$1" "$2"; false; }' _ "$scrape" "$work/exporter.log"
  check "one ifTable series per interface, labelled with ifDescr" bash -c '
    [ "$(grep -c "^ifInOctets{ifDescr=\"[^\"]*\",ifIndex=\"[0-9]*\"}" "$1")" = 7 ] &&
    grep -q "^ifOutOctets{ifDescr=\"Serial port 3\",ifIndex=\"7\"}" "$1"' _ "$scrape"
  check "the system group and the ip, icmp, tcp and udp counters" bash -c '
    for m in sysUpTime sysDescr ipInReceives icmpInMsgs tcpInSegs udpInDatagrams; do
      grep -q "^$m[{ ]" "$1" || { echo "no $m"; exit 1; }
    done' _ "$scrape"
  check "the serial-port tables, by port" test \
    "$(series rs232PortInSpeed) $(series rs232AsyncPortBits) $(series rs232InSigState) $(series rs232OutSigState)" \
    = "4 4 12 8"
  { kill "$agent" "$exporter" && wait "$agent" "$exporter"; } 2>/dev/null || true
fi

echo "package: $passed passed, $failed failed"
((failed == 0))
