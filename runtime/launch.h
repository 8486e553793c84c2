// Hands a document to the program the desktop associates with its type, for
// the exporter's --open and for both window backends. Does not wait for that
// program to end. The result tells whether a program was started, whether
// the desktop has no program for the type (or no way to ask for one), or
// whether starting it failed otherwise (a missing file, for instance).
#pragma once

#include "runtime/text.h"

enum class LaunchResult { Started, NoProgram, Failed };

LaunchResult LaunchDocument(TextView path);
