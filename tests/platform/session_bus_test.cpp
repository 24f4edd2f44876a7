// The session-bus check against sockets made by the test, and the settings backend it chooses.
#include "platform/linux/session_bus.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "tests/support/temp_folder.h"

namespace {

// A listening Unix socket, by path or (with a leading '@') in the abstract namespace.
int listenOn(const std::string &name) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const bool abstract = name[0] == '@';
  std::memcpy(address.sun_path, name.c_str(), name.size());
  if (abstract) address.sun_path[0] = '\0';
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const socklen_t length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size() + (abstract ? 0 : 1));
  if (bind(fd, reinterpret_cast<const sockaddr *>(&address), length) != 0 || listen(fd, 4) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

void setOrUnset(const char *variable, const char *value) {
  if (value) {
    setenv(variable, value, 1);
  } else {
    unsetenv(variable);
  }
}

class SessionBus : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = testPath(testing::UnitTest::GetInstance()->current_test_info()->name());
    ASSERT_TRUE(std::filesystem::create_directory(folder_));
    std::filesystem::create_directory(folder_ + "/runtime");
    std::filesystem::create_directory(folder_ + "/empty");
    bus_ = listenOn(folder_ + "/bus socket");
    runtimeBus_ = listenOn(folder_ + "/runtime/bus");
    abstractName_ = "bmpspectrum-test-" + std::to_string(getpid());
    abstract_ = listenOn("@" + abstractName_);
    ASSERT_GE(bus_, 0);
    ASSERT_GE(runtimeBus_, 0);
    ASSERT_GE(abstract_, 0);
  }
  void TearDown() override {
    for (int fd : {bus_, runtimeBus_, abstract_}) {
      if (fd >= 0) close(fd);
    }
    std::filesystem::remove_all(folder_);
  }

  std::string folder_, abstractName_;
  int bus_ = -1, runtimeBus_ = -1, abstract_ = -1;
};

TEST_F(SessionBus, ReachableOnlyWhenItsSocketAnswers) {
  struct Case {
    std::string address;  // DBUS_SESSION_BUS_ADDRESS; "-" unset
    std::string runtime;  // XDG_RUNTIME_DIR; "-" unset
    bool reachable;
  };
  const std::string escaped = "unix:path=" + folder_ + "/bus%20socket";
  const Case cases[] = {
      {"unix:path=" + folder_ + "/bus socket", "-", true},
      {escaped + ",guid=0123456789abcdef", "-", true},
      {"unix:abstract=" + abstractName_ + ",guid=0123", "-", true},
      {"unix:path=" + folder_ + "/nothing", "-", false},
      {"unix:abstract=" + abstractName_ + "-gone", "-", false},
      {"unix:path=" + folder_ + "/nothing;" + escaped, "-", true},
      {"tcp:host=localhost,port=1", "-", true},  // not tried here: GLib's to judge
      {"garbage", "-", false},
      {"-", folder_ + "/runtime", true},
      {"", folder_ + "/runtime", true},
      {"-", folder_ + "/empty", false},
      {"-", "-", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.address + " | " + c.runtime);
    setOrUnset("DBUS_SESSION_BUS_ADDRESS", c.address == "-" ? nullptr : c.address.c_str());
    setOrUnset("XDG_RUNTIME_DIR", c.runtime == "-" ? nullptr : c.runtime.c_str());
    EXPECT_EQ(sessionBusReachable(), c.reachable);
  }
}

TEST_F(SessionBus, TheMemoryBackendOnlyWithoutABusAndWithoutTheUsersChoice) {
  struct Case {
    const char *chosen;  // GSETTINGS_BACKEND before; nullptr unset
    bool busThere;
    const char *after;  // nullptr: still unset
  };
  const Case cases[] = {
      {nullptr, false, "memory"}, {"", false, "memory"},        {nullptr, true, nullptr},
      {"dconf", false, "dconf"},  {"keyfile", true, "keyfile"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.chosen ? c.chosen : "(unset)") + (c.busThere ? " bus" : " no bus"));
    setOrUnset("GSETTINGS_BACKEND", c.chosen);
    const std::string address = "unix:path=" + folder_ + (c.busThere ? "/bus socket" : "/nothing");
    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    chooseSettingsBackend();
    const char *after = std::getenv("GSETTINGS_BACKEND");
    if (c.after == nullptr) {
      EXPECT_EQ(after, nullptr);
    } else {
      ASSERT_NE(after, nullptr);
      EXPECT_STREQ(after, c.after);
    }
  }
}

}  // namespace
