#!/usr/bin/env bash
# Checks a running board from the host with Net-SNMP's clients, against the board's own
# files; scripts/board ARCH boots one and runs this. What it is told:
#   BOARD_SNMP=HOST:PORT    the agent (snmpd -f)
#   BOARD_SAMPLE=HOST:PORT  a second agent, serving samples/kyrel under SNMPD_ROOT (mirlen)
#   BOARD_BARE=HOST:PORT    a third, under an SNMPD_ROOT without counter files (mirlen)
#   BOARD_CONSOLE=FILE      the board's console, where the agents' standard output goes
#   BOARD_HTTP=URL          URL/cgi-bin/cat?PATH is the board's file PATH
#   BOARD_ADDRESS, BOARD_MAC, BOARD_MTU   eth0's address, MAC address and MTU as given
#   BOARD_AGENT_ARGS        the options added to the agent's -f; the board keeps its process
#                           number in /run/snmpd.pid
#   tests/board.sh NAME     (NAME only labels the summary)
# Counters move while the checks run (their own requests count), so each value of a walk
# must lie between the board's file read just before the walk and the one read just after;
# a table row must be in one of the two files, and a row in both must be in the walk.
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C  # one collation for sort and comm
# shellcheck source=tests/check.sh
. tests/check.sh
name=${1:-board}
: "${BOARD_SNMP:?} ${BOARD_SAMPLE:?} ${BOARD_BARE:?} ${BOARD_CONSOLE:?} ${BOARD_HTTP:?} ${BOARD_ADDRESS:?} ${BOARD_MAC:?} ${BOARD_MTU:?}"
community=${BOARD_COMMUNITY:-mirlen}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Numeric names, no types, enumerations and time ticks as plain numbers.
output_opts=(-v1 -t 3 -r 2 -On -Oq -Oe -Ot)
snmp_opts=("${output_opts[@]}" -c "$community")
sample_opts=("${output_opts[@]}" -c mirlen)  # the sample agent runs with the default community
board_file() { curl -sSf --max-time 10 "$BOARD_HTTP/cgi-bin/cat?$1"; }
snapshot() {  # snapshot NAME: the board's counters and tables now, into $work/NAME.*
  local file
  for file in snmp dev route tcp udp; do board_file "/proc/net/$file" >"$work/$1.$file"; done
}
walk() {  # walk NAME [SAMPLE_AGENT OID]: "OID VALUE" lines into $work/NAME.walk, stderr kept
  if (($# > 1)); then
    snmpwalk "${sample_opts[@]}" "$2" "$3"
  else
    snmpwalk "${snmp_opts[@]}" "$BOARD_SNMP" 1.3.6.1.2.1
  fi >"$work/$1.raw" 2>"$work/$1.err" || echo "snmpwalk exited with status $?" >>"$work/$1.err"
  # ".1.3.6.1.2.1.1.5.0 "name"" to "1.3.6.1.2.1.1.5.0 name"; a version 1 walk that runs
  # past the agent's last object ends with "End of MIB" (noSuchName), as it should.
  sed -E '/^End of MIB$/d; s/^\.//; s/^([^ ]+) "(.*)"$/\1 \2/; s/ +$//' "$work/$1.raw" >"$work/$1.walk"
}
value() {  # value NAME OID: the value of OID in a walk
  awk -v oid="$2" '$1 == oid { sub(/^[^ ]+ /, ""); print; found = 1; exit } END { exit !found }' \
    "$work/$1.walk"
}
mac() {  # mac TEXT: a MAC address as Net-SNMP or sysfs prints it, as aa:bb:cc:dd:ee:ff
  tr 'A-F' 'a-f' <<<"$1" | sed 's/[ :]/\n/g' | sed '/^$/d' |
    awk '{ printf "%s%s", (NR > 1 ? ":" : ""), (length($1) == 1 ? "0" $1 : $1) }'
}
same() {  # same WHAT EXPECTED ACTUAL
  [ "$2" = "$3" ] || { echo "$1: expected '$2', got '$3'"; return 1; }
}

# --- the board's word, a walk, the board's word again -----------------------------------------
snapshot before
walk first
snapshot after
board_file /etc/version >"$work/version"
board_file /proc/sys/kernel/hostname >"$work/hostname"
for file in address mtu tx_queue_len; do board_file "/sys/class/net/eth0/$file" >"$work/eth0.$file"; done

command_line() {
  local pid
  pid=$(board_file /run/snmpd.pid)
  same "the agent's command line" "snmpd -f${BOARD_AGENT_ARGS:+ $BOARD_AGENT_ARGS}" \
    "$(board_file "/proc/$pid/cmdline" | tr '\0' ' ' | sed 's/ $//')"
}
check "the board runs the agent with the options given" command_line

# The agent confines itself once started: its system-call filter is in force (a call missing
# from it would have killed the agent, and the checks below would find no one to ask), and
# with -u it runs as that user.
confined() {
  local pid status user
  pid=$(board_file /run/snmpd.pid)
  status=$(board_file "/proc/$pid/status")
  grep -E '^(Uid|Gid|NoNewPrivs|Seccomp):' <<<"$status"
  grep -qx $'NoNewPrivs:\t1' <<<"$status" && grep -qx $'Seccomp:\t2' <<<"$status" || return 1
  user=$(sed -n 's/.*-u \([^ ]*\).*/\1/p' <<<" $BOARD_AGENT_ARGS")
  case "$user" in
    "") ;;
    nobody) grep -qx $'Uid:\t65534\t65534\t65534\t65534' <<<"$status" ;;
    *) grep -qx "Uid:"$'\t'"$user"$'\t'"$user"$'\t'"$user"$'\t'"$user" <<<"$status" ;;
  esac
}
check "the agent runs under its system-call filter, as the user of -u" confined

walk_is_clean() {
  local lines
  lines=$(wc -l <"$work/first.walk")
  cat "$work/first.err"
  if [ -s "$work/first.err" ] || ((lines <= 100)); then echo "$lines objects"; return 1; fi
  # Strictly increasing, all under 1.3.6.1.2.1, down to the snmp group.
  awk 'function after(a, b,   x, y, n, m, i) {
         n = split(a, x, "."); m = split(b, y, ".")
         for (i = 1; i <= n && i <= m; i++) if (x[i] != y[i]) return x[i] + 0 > y[i] + 0
         return n > m
       }
       index($1, "1.3.6.1.2.1.") != 1 { print "outside the subtree: " $1; bad = 1 }
       NR > 1 && !after($1, last) { print "not increasing: " last " then " $1; bad = 1 }
       { last = $1 }
       END { if (index(last, "1.3.6.1.2.1.11.") != 1) { print "ends at " last; bad = 1 }; exit bad }' \
    "$work/first.walk"
}
check "a walk of 1.3.6.1.2.1 ends cleanly, every name greater than the one before" walk_is_clean

system_group() {
  same sysDescr "$(head -n 1 "$work/version")" "$(value first 1.3.6.1.2.1.1.1.0)" &&
    same sysName "$(cat "$work/hostname")" "$(value first 1.3.6.1.2.1.1.5.0)"
}
check "sysDescr is the board's /etc/version, sysName its host name" system_group

# The agent counts whole seconds (steps of 100 ticks): two of its steps about 3 s apart are
# each seen by polling, so that each is known to lie between the start of the last request
# that read the old value and the end of the first that read the new one.
uptime_rate() {
  local ticks early late v1 early1 late1 v2 early2 late2 ms board_up previous=0
  next_step() {  # next_step TICKS: the first value past TICKS, as $ticks, $early and $late
    local start
    for _ in $(seq 200); do
      start=$(date +%s%N)
      ticks=$(snmpget "${snmp_opts[@]}" "$BOARD_SNMP" 1.3.6.1.2.1.1.3.0 | cut -d ' ' -f 2)
      if ((ticks > $1)); then
        early=$((previous / 1000000)) late=$(($(date +%s%N) / 1000000)) previous=$start
        return 0
      fi
      previous=$start  # a request that read TICKS or less
    done
    echo "sysUpTime stayed at $ticks"
    return 1
  }
  next_step -1
  next_step "$ticks" && v1=$ticks early1=$early late1=$late
  sleep 2.5
  next_step $((v1 + 200)) && v2=$ticks early2=$early late2=$late
  board_up=$(cut -d ' ' -f 1 <<<"$(board_file /proc/uptime)")
  ms=$(((v2 - v1) * 10))
  echo "sysUpTime $v1 then $v2: ${ms} ms of the agent's in $((early2 - late1)) to $((late2 - early1))" \
    "ms of the host's; the board up ${board_up}s"
  # 100 a second within 2%, and no more than the board's own uptime
  ((early2 - late1 <= ms * 102 / 100 && late2 - early1 >= ms * 98 / 100)) &&
    ((v2 <= ${board_up%.*} * 100 + 100))
}
check "sysUpTime advances at 100 a second, no further than the board's own uptime" uptime_rate

interface() {
  local column source expected actual bad=0
  same "ifDescr.1" eth0 "$(value first 1.3.6.1.2.1.2.2.1.2.1)" || bad=1
  same "the board's eth0 MAC address" "$BOARD_MAC" "$(mac "$(cat "$work/eth0.address")")" || bad=1
  same "the board's eth0 MTU" "$BOARD_MTU" "$(cat "$work/eth0.mtu")" || bad=1
  same "ifPhysAddress.1" "$BOARD_MAC" "$(mac "$(value first 1.3.6.1.2.1.2.2.1.6.1)")" || bad=1
  same "ifMtu.1" "$BOARD_MTU" "$(value first 1.3.6.1.2.1.2.2.1.4.1)" || bad=1
  same "ifOutQLen.1" "$(cat "$work/eth0.tx_queue_len")" "$(value first 1.3.6.1.2.1.2.2.1.21.1)" || bad=1
  same "ifAdminStatus.1 ifOperStatus.1" "1 1" \
    "$(value first 1.3.6.1.2.1.2.2.1.7.1) $(value first 1.3.6.1.2.1.2.2.1.8.1)" || bad=1
  # ifTable column and the number of eth0's /proc/net/dev line that feeds it
  while read -r column source; do
    expected=$(awk -v n="$source" '$1 == "eth0:" { print $(n + 1) }' "$work/before.dev")
    actual=$(value first "1.3.6.1.2.1.2.2.1.$column.1")
    after=$(awk -v n="$source" '$1 == "eth0:" { print $(n + 1) }' "$work/after.dev")
    ((expected <= actual && actual <= after)) ||
      { echo "ifTable column $column of eth0: $actual, not within $expected..$after"; bad=1; }
  done <<'EOF'
10 1
11 2
13 4
14 3
16 9
17 10
19 12
20 11
EOF
  return "$bad"
}
check "ifTable's eth0: the board's MAC address, MTU, queue length, state and counters" interface

addresses() {
  local index="1.$BOARD_ADDRESS"
  same ipAdEntAddr "$BOARD_ADDRESS" "$(value first "1.3.6.1.2.1.4.20.1.1.$BOARD_ADDRESS")" &&
    same ipAdEntIfIndex 1 "$(value first "1.3.6.1.2.1.4.20.1.2.$BOARD_ADDRESS")" &&
    same ipAdEntNetMask 255.255.255.0 "$(value first "1.3.6.1.2.1.4.20.1.3.$BOARD_ADDRESS")" &&
    same ipNetToMediaPhysAddress "$BOARD_MAC" "$(mac "$(value first "1.3.6.1.2.1.4.22.1.2.$index")")"
}
check "ipAddrTable and ipNetToMediaTable hold eth0's address and MAC address" addresses

# /proc/net/snmp line, field, and the object under 1.3.6.1.2.1 that serves it.
counter_table='Ip Forwarding 4.1 | Ip DefaultTTL 4.2 | Ip InReceives 4.3 | Ip InHdrErrors 4.4
Ip InAddrErrors 4.5 | Ip ForwDatagrams 4.6 | Ip InUnknownProtos 4.7 | Ip InDiscards 4.8
Ip InDelivers 4.9 | Ip OutRequests 4.10 | Ip OutDiscards 4.11 | Ip OutNoRoutes 4.12
Ip ReasmTimeout 4.13 | Ip ReasmReqds 4.14 | Ip ReasmOKs 4.15 | Ip ReasmFails 4.16
Ip FragOKs 4.17 | Ip FragFails 4.18 | Ip FragCreates 4.19
Icmp InMsgs 5.1 | Icmp InErrors 5.2 | Icmp InDestUnreachs 5.3 | Icmp InTimeExcds 5.4
Icmp InParmProbs 5.5 | Icmp InSrcQuenchs 5.6 | Icmp InRedirects 5.7 | Icmp InEchos 5.8
Icmp InEchoReps 5.9 | Icmp InTimestamps 5.10 | Icmp InTimestampReps 5.11
Icmp InAddrMasks 5.12 | Icmp InAddrMaskReps 5.13 | Icmp OutMsgs 5.14 | Icmp OutErrors 5.15
Icmp OutDestUnreachs 5.16 | Icmp OutTimeExcds 5.17 | Icmp OutParmProbs 5.18
Icmp OutSrcQuenchs 5.19 | Icmp OutRedirects 5.20 | Icmp OutEchos 5.21 | Icmp OutEchoReps 5.22
Icmp OutTimestamps 5.23 | Icmp OutTimestampReps 5.24 | Icmp OutAddrMasks 5.25
Icmp OutAddrMaskReps 5.26
Tcp RtoAlgorithm 6.1 | Tcp RtoMin 6.2 | Tcp RtoMax 6.3 | Tcp MaxConn 6.4 | Tcp ActiveOpens 6.5
Tcp PassiveOpens 6.6 | Tcp AttemptFails 6.7 | Tcp EstabResets 6.8 | Tcp InSegs 6.10
Tcp OutSegs 6.11 | Tcp RetransSegs 6.12 | Tcp InErrs 6.14 | Tcp OutRsts 6.15
Udp InDatagrams 7.1 | Udp NoPorts 7.2 | Udp InErrors 7.3 | Udp OutDatagrams 7.4'
counters_within() {  # counters_within GROUP: the group's counters lie between the two files
  tr '|' '\n' <<<"$counter_table" | awk -v group="$1" -v before="$work/before.snmp" \
    -v after="$work/after.snmp" -v walk="$work/first.walk" '
    function load(file, into,   line, f, h, n, i, seen) {
      while ((getline line < file) > 0) {  # "Ip: Forwarding ..." then "Ip: 2 ..."
        n = split(line, f, " ")
        if (!(f[1] in seen)) { seen[f[1]] = line; continue }
        split(seen[f[1]], h, " ")
        for (i = 2; i <= n; i++) into[f[1] h[i]] = f[i]
      }
    }
    BEGIN {
      load(before, b); load(after, a)
      while ((getline line < walk) > 0) { split(line, f, " "); w[f[1]] = f[2] }
    }
    $1 == group {
      key = $1 ":" $2; oid = "1.3.6.1.2.1." $3 ".0"; checked++
      if (!(key in b)) { print "no " key " in /proc/net/snmp"; bad = 1; next }
      if (!(oid in w)) { print "no " oid " in the walk"; bad = 1; next }
      if (b[key] + 0 > w[oid] + 0 || w[oid] + 0 > a[key] + 0) {
        print $2 " (" oid "): " w[oid] ", not within " b[key] ".." a[key]; bad = 1
      }
    }
    END { if (!checked) print "no counter of " group; exit bad || !checked }'
}
check "the ip counters are the board's /proc/net/snmp" counters_within Ip
check "the icmp counters are the board's /proc/net/snmp" counters_within Icmp
check "the tcp counters are the board's /proc/net/snmp" counters_within Tcp
check "the udp counters are the board's /proc/net/snmp" counters_within Udp

# Table rows as "INDEX VALUE" from the board's files and from the walk. The ARM boards are
# little-endian: the kernel's hexadecimal words hold the address bytes in reverse.
proc_rows() {  # proc_rows route|tcp|udp FILE
  awk -v kind="$1" -v any="$BOARD_ADDRESS" '
    function hex(s,   i, v) {
      v = 0
      for (i = 1; i <= length(s); i++)
        v = v * 16 + index("0123456789ABCDEF", toupper(substr(s, i, 1))) - 1
      return v
    }
    function ip(s) {
      return hex(substr(s, 7, 2)) "." hex(substr(s, 5, 2)) "." hex(substr(s, 3, 2)) "." hex(substr(s, 1, 2))
    }
    function endpoint(s,   p) {  # a socket bound to every address: the one addressed interface
      split(s, p, ":")
      return (p[1] == "00000000" ? any : ip(p[1])) "." hex(p[2])
    }
    NR == 1 { next }
    { row = "" }
    kind == "route" && ($1 == "eth0" || $1 == "eth1") {
      row = ip($2) " " ($1 == "eth0" ? 1 : 2) " " ($3 == "00000000" ? any : ip($3)) " " ip($8)
    }
    kind == "tcp" {
      # the kernel state number to tcpConnState
      split("5 3 4 6 7 11 1 8 9 2 10", state, " ")
      split($3, r, ":")
      row = endpoint($2) "." ip(r[1]) "." hex(r[2]) " " state[hex($4)]
    }
    kind == "udp" { row = endpoint($2) }
    row != "" { split(row, i, " "); if (!(i[1] in seen)) { seen[i[1]] = 1; print row } }' "$2" | sort
}
walk_rows() {  # walk_rows route|tcp|udp WALK
  local prefix
  case "$1" in
    route) prefix=1.3.6.1.2.1.4.21.1. ;;
    tcp) prefix=1.3.6.1.2.1.6.13.1.1. ;;
    udp) prefix=1.3.6.1.2.1.7.5.1.1. ;;
  esac
  awk -v kind="$1" -v prefix="$prefix" '
    index($1, prefix) != 1 { next }
    kind == "tcp" { print substr($1, length(prefix) + 1) " " $2 }
    kind == "udp" { print substr($1, length(prefix) + 1) }
    kind == "route" {  # ipRouteIfIndex (2), ipRouteNextHop (7), ipRouteMask (11) by destination
      n = split(substr($1, length(prefix) + 1), p, ".")
      dest = p[2] "." p[3] "." p[4] "." p[5]
      if (p[1] == 1) order[++rows] = dest
      if (p[1] == 2) ifindex[dest] = $2
      if (p[1] == 7) hop[dest] = $2
      if (p[1] == 11) mask[dest] = $2
    }
    END {
      for (r = 1; r <= rows; r++) { d = order[r]; print d " " ifindex[d] " " hop[d] " " mask[d] }
    }' \
    "$2" | sort
}
table_matches() {  # table_matches route|tcp|udp: every row read, every lasting row served
  proc_rows "$1" "$work/before.$1" >"$work/$1.before"
  proc_rows "$1" "$work/after.$1" >"$work/$1.after"
  walk_rows "$1" "$work/first.walk" >"$work/$1.walk"
  local unknown lost
  unknown=$(sort -u "$work/$1.before" "$work/$1.after" | comm -13 - "$work/$1.walk")
  lost=$(comm -12 "$work/$1.before" "$work/$1.after" | comm -23 - "$work/$1.walk")
  [ -s "$work/$1.walk" ] || { echo "no $1 rows in the walk"; return 1; }
  [ -z "$unknown$lost" ] && return 0
  echo "served but in neither file:"; printf '%s\n' "$unknown"
  echo "in both files but not served:"; printf '%s\n' "$lost"
  echo "the board's file before and after the walk:"; cat "$work/before.$1" "$work/after.$1"
  return 1
}
check "ipRouteTable is the board's /proc/net/route" table_matches route
check "tcpConnTable is the board's /proc/net/tcp" table_matches tcp
check "udpTable is the board's /proc/net/udp" table_matches udp
established() {  # no connection opens or closes during a walk: the gauge matches the rows
  local rows
  rows=$(awk '$2 == 5 || $2 == 8' "$work/tcp.walk" | wc -l)
  same "tcpCurrEstab (established and close-wait rows: $rows)" "$rows" \
    "$(value first 1.3.6.1.2.1.6.9.0)"
}
check "tcpCurrEstab counts the established connections of tcpConnTable" established

grown() {  # counters a walk itself moves
  local oid bad=0
  walk second
  for oid in 1.3.6.1.2.1.2.2.1.10.1 1.3.6.1.2.1.2.2.1.11.1 1.3.6.1.2.1.2.2.1.16.1 \
    1.3.6.1.2.1.2.2.1.17.1 1.3.6.1.2.1.4.3.0 1.3.6.1.2.1.4.9.0 1.3.6.1.2.1.4.10.0 \
    1.3.6.1.2.1.7.1.0 1.3.6.1.2.1.7.4.0 1.3.6.1.2.1.11.1.0 1.3.6.1.2.1.11.2.0; do
    (($(value second "$oid") > $(value first "$oid"))) ||
      { echo "$oid: $(value first "$oid") then $(value second "$oid")"; bad=1; }
  done
  cat "$work/second.err"
  [ ! -s "$work/second.err" ] && return "$bad"
}
check "counters grow between two walks" grown

set_location() {
  local location="Rack 4, $name board"
  snmpset "${snmp_opts[@]}" "$BOARD_SNMP" 1.3.6.1.2.1.1.6.0 s "$location" >/dev/null &&
    same sysLocation "\"$location\"" \
      "$(snmpget "${snmp_opts[@]}" "$BOARD_SNMP" 1.3.6.1.2.1.1.6.0 | cut -d ' ' -f 2-)"
}
check "a Set of sysLocation is read back" set_location

serial_ports() {  # the sample board's status lines against its tables
  local bad=0 ports oid column port expected
  walk sample "$BOARD_SAMPLE" 1.3.6.1.2.1.10.33
  walk sample_if "$BOARD_SAMPLE" 1.3.6.1.2.1.2
  cat "$work/sample.err" "$work/sample_if.err"
  ports=$(head -n 1 samples/kyrel)
  same rs232Number "$ports" "$(value sample 1.3.6.1.2.1.10.33.1.0)" || bad=1
  same ifNumber "$((3 + ports))" "$(value sample_if 1.3.6.1.2.1.2.1.0)" || bad=1
  same "ifDescr.4" "Serial port 0" "$(value sample_if 1.3.6.1.2.1.2.2.1.2.4)" || bad=1
  # column of the port table and the number of the status line that feeds it
  while read -r oid column; do
    for ((port = 1; port <= ports; port++)); do
      expected=$(sed -n "$((port + 1))p" samples/kyrel | cut -d ' ' -f "$column")
      same "$oid.$port" "$expected" "$(value sample "$oid.$port")" || bad=1
    done
  done <<'EOF'
1.3.6.1.2.1.10.33.2.1.2 5
1.3.6.1.2.1.10.33.2.1.5 3
1.3.6.1.2.1.10.33.2.1.6 3
1.3.6.1.2.1.10.33.3.1.2 6
1.3.6.1.2.1.10.33.3.1.3 7
1.3.6.1.2.1.10.33.3.1.4 8
EOF
  [ ! -s "$work/sample.err" ] && [ ! -s "$work/sample_if.err" ] && return "$bad"
}
check "the serial-port MIB of samples/kyrel under SNMPD_ROOT on the board" serial_ports

# The message goes to the console, a terminal: stdio's first write while serving, under the
# filter, asks the kernel what the output is.
missing_counters() {
  local group
  for group in 4.3.0 5.1.0 6.5.0 7.1.0; do
    snmpget "${sample_opts[@]}" -r 0 "$BOARD_BARE" "1.3.6.1.2.1.$group" >/dev/null 2>&1 || true
  done
  snmpget "${sample_opts[@]}" "$BOARD_BARE" 1.3.6.1.2.1.1.3.0 >/dev/null || return 1
  for group in ip icmp tcp udp; do
    grep -q "^${group}Retrieve() Error opening /proc/net/snmp" "$BOARD_CONSOLE" ||
      { echo "no message of the $group group on the console"; return 1; }
  done
}
check "a missing counter file is reported on the console and the agent serves on" missing_counters

echo "board-$name: $passed passed, $failed failed"
((failed == 0))
