// The desktop's document opener, xdg-open: exit status 0 when it handed the
// file on, 3 when no program or method is available for it. Without a
// desktop session xdg-open may run the program in the foreground until it
// is closed, so its status is awaited a short while only; one still running
// then has started a program. Such children are reaped at the next launch.
#include "runtime/launch.h"

#include "runtime/paths.h"
#include "runtime/utf8.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr auto kStatusWait = std::chrono::milliseconds(2000);
constexpr auto kPollInterval = std::chrono::milliseconds(10);
constexpr int kNoMethodStatus = 3;  // xdg-open: "a required tool could not be found"

std::vector<pid_t>& Running() {
  static std::vector<pid_t> running;
  return running;
}

void ReapFinished() {
  std::vector<pid_t>& running = Running();
  std::erase_if(running, [](pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) != 0;
  });
}

}  // namespace

LaunchResult LaunchDocument(TextView path) {
  ReapFinished();
  if (path.empty()) return LaunchResult::Failed;
  std::string name = NativePathFromText(AbsolutePath(path));
  char program[] = "xdg-open";
  char* argv[] = {program, name.data(), nullptr};
  pid_t child = 0;
  const int spawned = ::posix_spawnp(&child, program, nullptr, nullptr, argv, environ);
  if (spawned == ENOENT) return LaunchResult::NoProgram;  // no opener on this system
  if (spawned != 0) return LaunchResult::Failed;

  const auto deadline = std::chrono::steady_clock::now() + kStatusWait;
  while (true) {
    int status = 0;
    const pid_t done = ::waitpid(child, &status, WNOHANG);
    if (done == child) {
      if (!WIFEXITED(status)) return LaunchResult::Failed;
      if (WEXITSTATUS(status) == 0) return LaunchResult::Started;
      return WEXITSTATUS(status) == kNoMethodStatus ? LaunchResult::NoProgram : LaunchResult::Failed;
    }
    if (done < 0 && errno != EINTR) return LaunchResult::Failed;
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(kPollInterval);
  }
  Running().push_back(child);
  return LaunchResult::Started;
}
