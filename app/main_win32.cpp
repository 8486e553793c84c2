// quorvel.exe: the window program on Windows. It takes no arguments.
#include "app/shell.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return RunQuorvel(); }
