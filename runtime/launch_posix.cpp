#include "runtime/launch.h"

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

bool LaunchDocument(TextView path) {
  std::string name = TextToUtf8(path);
  char program[] = "xdg-open";
  char* argv[] = {program, name.data(), nullptr};
  pid_t child;
  if (::posix_spawnp(&child, program, nullptr, nullptr, argv, environ) != 0) return false;
  // xdg-open hands the document over and returns at once; reap it.
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
