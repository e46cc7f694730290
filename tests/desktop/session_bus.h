#ifndef VOREL_TESTS_DESKTOP_SESSION_BUS_H_
#define VOREL_TESTS_DESKTOP_SESSION_BUS_H_

// A session bus of the test's own: a dbus-daemon started for the test process, ended with it, so
// tests never talk to (or disturb) a desktop's real bus.

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace vorel::testing {

class PrivateSessionBus {
 public:
  // Starts the daemon and points DBUS_SESSION_BUS_ADDRESS at it. With `any_user`, programs
  // running as other users (a test that drops root) may connect too. False when it did not start.
  bool Start(bool any_user = false) {
    std::string config_arg = "--session";
    if (any_user) {
      config_path_ = "/tmp/vorel-test-bus-" + std::to_string(::getpid()) + ".conf";
      std::ofstream(config_path_) << "<busconfig><type>session</type>"
                                     "<listen>unix:dir=/tmp</listen><auth>EXTERNAL</auth>"
                                     "<policy context=\"default\"><allow user=\"*\"/>"
                                     "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                     "<allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                                     "</policy></busconfig>";
      config_arg = "--config-file=" + config_path_;
    }
    int fds[2];
    if (::pipe(fds) != 0) return false;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      ::close(fds[0]);
      std::string print = "--print-address=" + std::to_string(fds[1]);
      ::execlp("dbus-daemon", "dbus-daemon", config_arg.c_str(), "--nofork", print.c_str(),
               static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[1]);
    char buf[512];
    std::string line;
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) {
      line.append(buf, static_cast<std::size_t>(n));
      if (line.find('\n') != std::string::npos) break;
    }
    ::close(fds[0]);
    if (line.find('\n') == std::string::npos) return false;
    address_ = line.substr(0, line.find('\n'));
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
    return true;
  }

  ~PrivateSessionBus() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    if (!config_path_.empty()) ::unlink(config_path_.c_str());
  }

  const std::string& address() const { return address_; }

 private:
  pid_t pid_ = -1;
  std::string address_;
  std::string config_path_;
};

}  // namespace vorel::testing

#endif  // VOREL_TESTS_DESKTOP_SESSION_BUS_H_
