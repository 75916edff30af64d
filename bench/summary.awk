# Summarises scripts/bench's raw lines ("target=T round=R label=W key=value ..."): medians and
# their spread [min-max] over rounds, and ratios taken within each round.
function median(list,   a, n, i, j, x) {
  n = split(list, a, " ")
  for (i = 2; i <= n; i++) {
    x = a[i] + 0
    for (j = i - 1; j >= 1 && a[j] + 0 > x; j--) a[j + 1] = a[j]
    a[j + 1] = x
  }
  if (n == 0) return ""
  return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
}
function fmt(x) { return (x >= 100 || x <= -100) ? sprintf("%.0f", x) : sprintf("%.3g", x) }
function spread(list,   a, n, i, lo, hi) {
  n = split(list, a, " ")
  if (n == 0) return "n/a"
  lo = hi = a[1] + 0
  for (i = 2; i <= n; i++) {
    if (a[i] + 0 < lo) lo = a[i] + 0
    if (a[i] + 0 > hi) hi = a[i] + 0
  }
  return fmt(median(list)) " [" fmt(lo) "-" fmt(hi) "]"
}
# The values of key k for target t and workload w, one per round.
function values(t, w, k,   r, out) {
  out = ""
  for (r = 1; r <= rounds; r++) if ((t, w, r, k) in v) out = out " " v[t, w, r, k]
  return out
}
# Per-round ratios of key k: (t, w) over (bt, bw).
function ratios(t, w, bt, bw, k,   r, out) {
  out = ""
  for (r = 1; r <= rounds; r++)
    if ((t, w, r, k) in v && (bt, bw, r, k) in v && v[bt, bw, r, k] > 0)
      out = out " " v[t, w, r, k] / v[bt, bw, r, k]
  return out
}
{
  delete kv
  for (i = 1; i <= NF; i++) {
    eq = index($i, "=")
    kv[substr($i, 1, eq - 1)] = substr($i, eq + 1)
  }
  t = kv["target"]; w = kv["label"]; r = kv["round"] + 0
  if (r > rounds) rounds = r
  if (!(t in seenT)) { seenT[t] = 1; T[++nt] = t }
  if (!(w in seenW)) { seenW[w] = 1; W[++nw] = w }
  if (kv["mode"] == "failed") { problems = problems sprintf("%s %s round %d: no result\n", t, w, r); next }
  mode[w] = kv["mode"]
  if (kv["mode"] == "walk" && kv["walks"] == 0) { delete kv["walk_ms"]; delete kv["objects"] }
  for (k in kv) v[t, w, r, k] = kv[k]
  bad = kv["timeouts"] + kv["malformed"] + kv["late"] + kv["errors"] + kv["aborted"] + kv["nonincr"]
  if (bad > 0)
    problems = problems sprintf("%s %s round %d: timeouts %d malformed %d late %d errors %d (first %d) aborted walks %d non-increasing %d\n",
                                t, w, r, kv["timeouts"], kv["malformed"], kv["late"], kv["errors"],
                                kv["first_err"], kv["aborted"], kv["nonincr"])
}
END {
  print ""
  print "## Requests: median [min-max] over rounds; CPU is the target's per reply, its ratio to"
  print "## the echo responder's taken within each round"
  printf "%-10s %-11s %22s %22s %22s %22s %8s\n", "workload", "target", "replies/s", "p50 us",
         "CPU us/request", "CPU / echo", "lg CPU%"
  for (j = 1; j <= nw; j++) {
    w = W[j]
    if (mode[w] != "get") continue
    for (i = 1; i <= nt; i++) {
      t = T[i]
      if (values(t, w, "rps") == "") continue
      printf "%-10s %-11s %22s %22s %22s %22s %8s\n", w, t, spread(values(t, w, "rps")),
             spread(values(t, w, "p50_us")), spread(values(t, w, "agent_cpu_us_req")),
             t == "echo" ? "1" : spread(ratios(t, w, "echo", w, "agent_cpu_us_req")),
             fmt(median(values(t, w, "lg_cpu_pct")))
    }
  }
  print ""
  print "## Walks (GetNext, window 1): objects and milliseconds a walk, CPU per step and its ratio"
  print "## to the same agent's Get sysDescr.0 at window 1 in the same round"
  printf "%-10s %-11s %9s %22s %22s %22s %22s\n", "workload", "target", "objects", "ms a walk",
         "steps/s", "CPU us/step", "step / get1_w1"
  for (j = 1; j <= nw; j++) {
    w = W[j]
    if (mode[w] != "walk") continue
    for (i = 1; i <= nt; i++) {
      t = T[i]
      if (values(t, w, "rps") == "") continue
      base = t
      sub(/_r[0-9]+k$/, "", base)
      printf "%-10s %-11s %9s %22s %22s %22s %22s\n", w, t, median(values(t, w, "objects")),
             spread(values(t, w, "walk_ms")), spread(values(t, w, "rps")),
             spread(values(t, w, "agent_cpu_us_req")),
             spread(ratios(t, w, base, "get1_w1", "agent_cpu_us_req"))
      if (w == "routes10k") {
        small = t
        sub(/_r10k$/, "_r1k", small)
        big = big sprintf("%-11s CPU per step, 10,000 routes / 1,000 routes: %s\n", base,
                          spread(ratios(t, "routes10k", small, "routes1k", "agent_cpu_us_req")))
      }
    }
  }
  if (big != "") { print ""; printf "%s", big }
  print ""
  if (problems == "") print "## Every run clean: no timeouts, malformed, late or error replies"
  else { print "## Problems"; printf "%s", problems }
}
