# shellcheck shell=bash
# Sourced by the shell tests: check DESCRIPTION COMMAND... runs the command and counts it,
# its output shown on failure; the caller prints "NAME: $passed passed, $failed failed".
passed=0 failed=0
check() {
  local what=$1 out
  shift
  if out=$("$@" 2>&1); then
    passed=$((passed + 1))
    echo "ok - $what"
  else
    failed=$((failed + 1))
    echo "FAIL - $what"
    printf '%s\n' "$out" | sed 's/^/    /'
  fi
}
