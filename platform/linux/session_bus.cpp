// Finding out whether the session bus is there, by connecting to the socket its address names.
#include "platform/linux/session_bus.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Undoes the %XX escapes of a D-Bus address value.
std::string unescaped(const std::string &value) {
  std::string text;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '%' && i + 2 < value.size()) {
      text += static_cast<char>(std::strtol(value.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      text += value[i];
    }
  }
  return text;
}

// Connects to a Unix socket by path, or in the abstract namespace.
bool socketAnswers(const std::string &name, bool abstract) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const size_t offset = abstract ? 1 : 0;
  if (name.empty() || name.size() + offset >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path + offset, name.data(), name.size());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const socklen_t length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + name.size() + !abstract);
  const bool connected = connect(fd, reinterpret_cast<const sockaddr *>(&address), length) == 0;
  close(fd);
  return connected;
}

// One address of the list: "transport:key=value,key=value".
bool addressAnswers(const std::string &entry) {
  const size_t colon = entry.find(':');
  if (colon == std::string::npos) return false;
  if (entry.compare(0, colon, "unix") != 0) return true;  // tcp and the like: GLib's to try
  for (size_t start = colon + 1; start < entry.size();) {
    size_t end = entry.find(',', start);
    if (end == std::string::npos) end = entry.size();
    const std::string pair = entry.substr(start, end - start);
    const size_t equals = pair.find('=');
    if (equals != std::string::npos) {
      const std::string key = pair.substr(0, equals);
      const std::string value = unescaped(pair.substr(equals + 1));
      if (key == "path" && socketAnswers(value, false)) return true;
      if (key == "abstract" && socketAnswers(value, true)) return true;
    }
    start = end + 1;
  }
  return false;
}

}  // namespace

bool sessionBusReachable() {
  const char *variable = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  std::string addresses;
  if (variable != nullptr && *variable != '\0') {
    addresses = variable;
  } else {
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || *runtime == '\0') return false;
    addresses = std::string("unix:path=") + runtime + "/bus";
  }
  for (size_t start = 0; start < addresses.size();) {
    size_t end = addresses.find(';', start);
    if (end == std::string::npos) end = addresses.size();
    if (addressAnswers(addresses.substr(start, end - start))) return true;
    start = end + 1;
  }
  return false;
}

void chooseSettingsBackend() {
  const char *chosen = std::getenv("GSETTINGS_BACKEND");
  if ((chosen == nullptr || *chosen == '\0') && !sessionBusReachable()) {
    setenv("GSETTINGS_BACKEND", "memory", 1);
  }
}
