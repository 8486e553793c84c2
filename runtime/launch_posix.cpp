// The desktop's document opener, xdg-open: exit status 0 when it handed the
// file on, 3 when no program or method is available for it, anything else a
// failure, whose reason is the last line it wrote on its error output (or its
// status when it wrote none). Its error output goes to a nameless temporary
// file, so that nothing it writes can make it wait for us.
#include "runtime/launch.h"

#include "runtime/os_file.h"
#include "runtime/paths.h"
#include "runtime/utf8.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

extern char** environ;

namespace {

constexpr int kNoMethodStatus = 3;       // xdg-open: "a required tool could not be found"
constexpr std::size_t kReasonBytes = 300;  // what is kept of the opener's last line

// The last line with something on it that `file` holds, at most kReasonBytes of its end.
Text LastLine(std::FILE* file) {
  if (file == nullptr || std::fseek(file, 0, SEEK_END) != 0) return {};
  const long size = std::ftell(file);
  const long from = size > 4096 ? size - 4096 : 0;
  std::string tail(static_cast<std::size_t>(size - from), '\0');
  if (std::fseek(file, from, SEEK_SET) != 0 || std::fread(tail.data(), 1, tail.size(), file) != tail.size()) return {};
  while (!tail.empty() && std::strchr("\n\r\t ", tail.back()) != nullptr) tail.pop_back();
  const std::size_t start = tail.find_last_of("\r\n");
  std::string line = start == std::string::npos ? tail : tail.substr(start + 1);
  if (line.size() > kReasonBytes) line = line.substr(line.size() - kReasonBytes);
  return TextFromUtf8(line);
}

LaunchOutcome Failed(Text reason) { return LaunchOutcome{LaunchResult::Failed, std::move(reason)}; }

}  // namespace

LaunchOutcome RunDocumentOpener(TextView path) {
  if (path.empty()) return Failed(u"no file was named");
  std::string name = NativePathFromText(AbsolutePath(path));
  char program[] = "xdg-open";
  char* argv[] = {program, name.data(), nullptr};

  std::FILE* errors = std::tmpfile();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (errors != nullptr) posix_spawn_file_actions_adddup2(&actions, fileno(errors), STDERR_FILENO);
  pid_t child = 0;
  const int spawned = ::posix_spawnp(&child, program, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);

  LaunchOutcome outcome;
  int status = 0;
  if (spawned == ENOENT) {
    outcome.result = LaunchResult::NoProgram;  // no opener on this system
  } else if (spawned != 0) {
    outcome = Failed(u"xdg-open could not be started: " + OsErrorText(spawned));
  } else {
    pid_t done = -1;
    while ((done = ::waitpid(child, &status, 0)) < 0 && errno == EINTR) {
    }
    if (done != child) {
      outcome = Failed(u"xdg-open could not be followed: " + OsErrorText(errno));
    } else if (WIFEXITED(status) && WEXITSTATUS(status) == kNoMethodStatus) {
      outcome.result = LaunchResult::NoProgram;
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      outcome = Failed(LastLine(errors));
      if (outcome.reason.empty())
        outcome.reason = WIFEXITED(status)
                             ? u"xdg-open ended with status " + IntegerToText(WEXITSTATUS(status))
                             : u"xdg-open was ended by signal " + IntegerToText(WTERMSIG(status));
    }
  }
  if (errors != nullptr) std::fclose(errors);
  return outcome;
}
