// The agent's entry: options, start-up, and the receive loop that feeds every datagram,
// byte by byte, to a fresh message context.
#pragma once

#include <cstdint>

#include "common/fd.hpp"

struct Smp;
struct SmpPdu;

inline constexpr std::uint16_t kDefaultPort = 161;
inline constexpr const char* kDefaultCommunity = "mirlen";

// What the command line asked for, after validation.
struct SnmpdConfig {
  const char* program = "snmpd";
  const char* hostText = nullptr;   // null: all local addresses
  const char* portText = nullptr;   // null: kDefaultPort
  const char* community = nullptr;  // null: kDefaultCommunity
  const char* userText = nullptr;   // null: keep the caller's user
  bool foreground = false;
  unsigned user = 0, group = 0;       // the user's IDs, with userText
  std::uint32_t address = 0;          // network byte order
  std::uint16_t port = kDefaultPort;  // host byte order
};

// Parses and validates the options; messages go to standard error.
// 0 when the agent may start, else the exit status (1 usage, 2 bad host, port, community or
// user).
int snmpdOptions(int argc, char** argv, SnmpdConfig* config);

// The whole life of the agent: options, initialisation, socket, bind, community entry, the
// drop to the user of -u; then, unless in the foreground, the caller's process returns 0
// while a child serves. Exit status: 1 usage, socket, bind or drop error, or a receive
// failure that ended serving; 2 bad host, port, community or user.
int snmpdCommand(int argc, char** argv);

// Serves datagrams on a bound socket until a receive fails other than for a signal
// (EINTR) or a passing shortage (ENOBUFS, ENOMEM); errno then says why.
void snmpdReceive(int socket);

bool cmdInit();                           // false when a module could not register all it serves
int usage(const char* program);           // always 1
int myUpCall(Smp* context, SmpPdu* pdu);  // prints "Upcall:", returns 0
[[noreturn]] void done(int signal);
