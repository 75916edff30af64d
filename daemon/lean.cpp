// The agent is built without exceptions and links the C++ runtime in. The few runtime paths
// that would throw (running out of memory, a length error in the standard library) end the
// process here, as an uncaught exception would, so that the unwinder and the demangler
// behind the runtime's own versions stay out of the executable. The agent's own allocations
// use the nothrow forms and handle a null result; only start-up code allocates otherwise.
#include <unistd.h>

#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void outOfLine() {
  std::abort();
}

// A start-up error like any other: one line, status 1, and a supervisor may try again.
[[noreturn]] void outOfMemory() {
  static constexpr char kLine[] = "snmpd: out of memory\n";
  [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kLine, sizeof kLine - 1);
  _exit(1);
}

void* allocate(std::size_t size) noexcept {
  return std::malloc(size != 0 ? size : 1);
}

}  // namespace

void* operator new(std::size_t size) {
  if (void* p = allocate(size)) return p;
  outOfMemory();
}
void* operator new[](std::size_t size) {
  return ::operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return allocate(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}

extern "C" void __cxa_pure_virtual() {
  outOfLine();
}

// The standard library's throw points, declared by its own headers.
namespace std {
void __throw_bad_alloc() {
  outOfMemory();
}
void __throw_bad_array_new_length() {
  outOfMemory();
}
void __throw_length_error(const char*) {
  outOfLine();
}
void __throw_logic_error(const char*) {
  outOfLine();
}
void __throw_out_of_range(const char*) {
  outOfLine();
}
void __throw_out_of_range_fmt(const char*, ...) {
  outOfLine();
}
void __throw_invalid_argument(const char*) {
  outOfLine();
}
}  // namespace std
