// The agent's own system-call filter: once start-up is over, the serving loop needs only to
// receive and send datagrams, read kernel files read-only, query interfaces, read the clock,
// manage its heap, write its messages and exit. Every other call kills the process.
#pragma once

// Sets no_new_privs and installs the allow-list for the architecture the agent was built
// for. 0 once the filter is in force; -1 where there is none for this architecture or the
// kernel refuses it (no seccomp, or an emulator that cannot apply a guest's filter): the
// caller then serves unfiltered, as /proc/PID/status shows ("Seccomp: 0").
int seccompInstall();
