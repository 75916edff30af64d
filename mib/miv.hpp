// Scalar variables held in the agent's memory: integer, octet string and object
// identifier, each read-only or writable. The only instance is suffix 0.
#pragma once

#include <cstdint>

struct MivBuffer {
  std::int32_t capacity;  // a stored value must be shorter than this
  std::int32_t length;
  std::uint8_t* bytes;  // owned by the registering module
};

inline constexpr int kMivCapacity = 128;  // every holder of the agent

int mivIntlRO(const std::uint8_t* oid, int length, std::int32_t* value);
int mivIntlRW(const std::uint8_t* oid, int length, std::int32_t* value);
int mivStringRO(const std::uint8_t* oid, int length, MivBuffer* holder);
int mivStringRW(const std::uint8_t* oid, int length, MivBuffer* holder);
int mivObjectIdRO(const std::uint8_t* oid, int length, MivBuffer* holder);
int mivObjectIdRW(const std::uint8_t* oid, int length, MivBuffer* holder);
