// The window program on Linux and other POSIX desktops. It takes no
// arguments; the exit code is always 0.
#include "app/shell.h"

int main() { return RunQuorvel(); }
