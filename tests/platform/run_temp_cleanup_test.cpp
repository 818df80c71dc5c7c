// The per-run temporary directory goes however the program ends: SIGTERM, SIGHUP, exit, and
// the command-line tool's second Ctrl-C. Each case runs in a child process that is ended the
// way a user's program would be.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "platform/paths.h"
#include "platform/terminal_host.h"

namespace corvex {
namespace {

namespace fs = std::filesystem;

struct Child {
  pid_t pid = -1;
  fs::path directory;
};

// Forks a child that runs `setUp`, makes its per-run directory with a bitmap in it, tells the
// parent where, then runs `afterwards` (by default: waits for signals for ever).
Child StartChild(
    const std::function<void()>& setUp, const std::function<void()>& afterwards = [] {
      for (;;) ::pause();
    }) {
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipeEnds[0]);
    setUp();
    // Never destroyed: only a signal or exit may remove the directory.
    auto* paths = new Paths("/nonexistent-home");
    const auto directory = paths->TempDirectory();
    if (!directory) ::_exit(3);
    std::ofstream(*directory / "corvex.bmp") << "bitmap";
    const std::string line = directory->string() + "\n";
    if (::write(pipeEnds[1], line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
      ::_exit(4);
    }
    ::close(pipeEnds[1]);
    afterwards();
    ::_exit(5);
  }
  ::close(pipeEnds[1]);
  std::string line;
  char c = 0;
  while (::read(pipeEnds[0], &c, 1) == 1 && c != '\n') line.push_back(c);
  ::close(pipeEnds[0]);
  return {pid, line};
}

int WaitFor(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

TEST(RunTempCleanup, TerminationAndHangUpRemoveTheDirectory) {
  for (int signal : {SIGTERM, SIGHUP}) {
    const Child child = StartChild([] {});
    ASSERT_GT(child.pid, 0);
    ASSERT_TRUE(fs::exists(child.directory / "corvex.bmp")) << child.directory;
    ::kill(child.pid, signal);
    const int status = WaitFor(child.pid);
    // The program still ends by the signal, as its caller expects.
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "signal " << signal;
    EXPECT_FALSE(fs::exists(child.directory)) << "signal " << signal;
  }
}

TEST(RunTempCleanup, AnIgnoredHangUpStaysIgnored) {
  // As under nohup: the hang-up passes and the program goes on until it is terminated.
  const Child child = StartChild([] { ::signal(SIGHUP, SIG_IGN); });
  ASSERT_GT(child.pid, 0);
  ::kill(child.pid, SIGHUP);
  ::kill(child.pid, SIGTERM);
  const int status = WaitFor(child.pid);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_FALSE(fs::exists(child.directory));
}

TEST(RunTempCleanup, ExitWithoutUnwindingRemovesTheDirectory) {
  const Child child = StartChild([] {}, [] { std::exit(0); });
  ASSERT_GT(child.pid, 0);
  const int status = WaitFor(child.pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(fs::exists(child.directory));
}

TEST(RunTempCleanup, TheCommandLineToolsSecondInterruptRemovesTheDirectory) {
  // The first Ctrl-C only asks the run to stop; the second ends the tool at once.
  const Child child = StartChild([] { new TerminalHost(stderr); });
  ASSERT_GT(child.pid, 0);
  ::kill(child.pid, SIGINT);
  ::usleep(100 * 1000);  // let the first be taken before the second arrives
  EXPECT_TRUE(fs::exists(child.directory));
  ::kill(child.pid, SIGINT);
  const int status = WaitFor(child.pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130);
  EXPECT_FALSE(fs::exists(child.directory));
}

}  // namespace
}  // namespace corvex
