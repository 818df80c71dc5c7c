// An indiserver of the tests' own: started on a free TCP port with a private HOME and
// CORVEX_HOME (HOME/Corvex), so that the driver's saved configuration and Corvex's settings
// start empty, and a private local socket (so it never meets another server on the machine);
// stopped with its drivers when the test ends.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace corvex::testing {

// The output of a command (standard error included), and whether it exited 0.
std::pair<bool, std::string> RunCommand(const std::string& command);

// A TCP port nothing listens on now, as the system hands one out.
int FreePort();

class IndiServer {
 public:
  // `drivers` are executables or "device@host:port" chains; `environment` is added to the
  // server's (and so the drivers') environment.
  IndiServer(std::vector<std::string> drivers, std::map<std::string, std::string> environment);
  ~IndiServer();
  IndiServer(const IndiServer&) = delete;
  IndiServer& operator=(const IndiServer&) = delete;

  // Starts the server and waits (up to `timeoutMs`) until its port accepts connections.
  bool Start(int timeoutMs = 5000);
  void Stop();

  int port() const { return port_; }
  const std::filesystem::path& home() const { return home_; }
  // What the server and its drivers wrote to their standard error, for a failure's message.
  std::string Log() const;

 private:
  std::vector<std::string> drivers_;
  std::map<std::string, std::string> environment_;
  std::filesystem::path home_;
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace corvex::testing
