// Thread start for the display: a detached std::thread that nobody waits for.
#include <cstdint>
#include <system_error>
#include <thread>

#include "win32.h"

std::uintptr_t _beginthread(void (*routine)(void *), unsigned, void *argument) {
  try {
    std::thread thread(routine, argument);
    const auto handle = static_cast<std::uintptr_t>(thread.native_handle());
    thread.detach();
    return handle;
  } catch (const std::system_error &) {
    return static_cast<std::uintptr_t>(-1);
  }
}
