#include "indi_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace corvex::testing {

namespace {

bool Accepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected =
      connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

}  // namespace

std::pair<bool, std::string> RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return {false, ""};
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
  return {pclose(pipe) == 0, output};
}

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = 0;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

IndiServer::IndiServer(std::vector<std::string> drivers,
                       std::map<std::string, std::string> environment)
    : drivers_(std::move(drivers)), environment_(std::move(environment)) {
  std::string pattern = (std::filesystem::temp_directory_path() / "corvex-indi-XXXXXX").string();
  if (mkdtemp(pattern.data()) != nullptr) home_ = pattern;
}

IndiServer::~IndiServer() {
  Stop();
  std::error_code ignored;
  if (!home_.empty()) std::filesystem::remove_all(home_, ignored);
}

bool IndiServer::Start(int timeoutMs) {
  if (home_.empty()) return false;
  port_ = FreePort();
  if (port_ == 0) return false;
  const std::string portText = std::to_string(port_);
  const std::string socketPath = (home_ / "indiserver.sock").string();
  const std::string logPath = (home_ / "server.log").string();

  std::vector<std::string> arguments = {"indiserver", "-v",       "-r", "0",
                                        "-u",         socketPath, "-p", portText};
  arguments.insert(arguments.end(), drivers_.begin(), drivers_.end());

  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    // Its own process group, so that Stop ends the server and its drivers together.
    setpgid(0, 0);
    setenv("HOME", home_.c_str(), 1);
    // Corvex's own home (its settings file) inside the private HOME as well.
    setenv("CORVEX_HOME", (home_ / "Corvex").c_str(), 1);
    for (const auto& [name, value] : environment_) setenv(name.c_str(), value.c_str(), 1);
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (log >= 0) {
      dup2(log, STDOUT_FILENO);
      dup2(log, STDERR_FILENO);
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    execvp("indiserver", argv.data());
    _exit(127);
  }
  setpgid(pid_, pid_);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (Accepts(port_)) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

void IndiServer::Stop() {
  if (pid_ <= 0) return;
  kill(-pid_, SIGTERM);
  // The driver finishes a readout in progress before it exits; give it a few seconds, then
  // end whatever is left.
  for (int i = 0; i < 100; ++i) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(-pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::string IndiServer::Log() const {
  std::ifstream in(home_ / "server.log");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace corvex::testing
