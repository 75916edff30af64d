// IPv4 host addresses as text. Addresses are in network byte order, as in a sockaddr_in.
#pragma once

#include <cstdint>

inline constexpr std::uint32_t kHostFailure = 0xFFFFFFFFu;  // also 255.255.255.255

// Dotted address or IPv4 host name -> address, or kHostFailure (-1).
std::uint32_t hostAddress(const char* text);

// Reverse-resolved name of the address, else its dotted form, with a NUL, into buffer
// (maxLength + 1 bytes). Returns the text's length, or 0 writing nothing when the text is
// longer than maxLength.
int hostString(char* buffer, int maxLength, std::uint32_t address);
