// The window program on Linux and other POSIX desktops: quorvel [PROJECT.rpp].
// A project named on the command line (as the desktop's "Open with" passes
// it, in the file-name bytes of the system) is loaded at start-up. Exit status 0; 1, with one line on standard
// error, when no display can be opened.
#include "app/shell.h"
#include "app/ui/toolkit.h"
#include "runtime/utf8.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  const Text project = argc > 1 ? TextFromNativePath(argv[1]) : Text();
  if (runQuorvel(project) == ShellEnd::NoUserInterface) {
    const std::string line = "quorvel: " + TextToUtf8(ui::ToolkitFailureReason()) + "\n";
    std::fputs(line.c_str(), stderr);
    return 1;
  }
  return 0;
}
