// Hands a document to the program the desktop associates with its type, for
// the exporter's --open and for both window backends. Nothing here waits for
// that program to end.
//
// An outcome is Started (a program took the document), NoProgram (the
// desktop has no program for the type, or no way to ask for one) or Failed
// (the desktop's opener could not be started, or ran and failed): `reason`
// then says why, in the system's or the opener's own words.
#pragma once

#include "runtime/text.h"

#include <functional>

enum class LaunchResult { Started, NoProgram, Failed };

struct LaunchOutcome {
  LaunchResult result = LaunchResult::Started;
  Text reason;  // empty unless Failed
};

// Starts handing `path` on and returns at once. `done` is called exactly
// once, on a thread of its own, when the outcome is known: once the desktop's
// opener has finished, which may take long where it runs the program in the
// foreground (xdg-open outside a desktop session).
void LaunchDocumentInBackground(TextView path, std::function<void(LaunchOutcome)> done);

// Starts handing `path` on and waits up to two seconds for the outcome; one
// still unknown then counts as Started (the opener is running a program).
LaunchOutcome LaunchDocument(TextView path);

// The platform's part of both: hands `path` on and blocks until the opener's
// verdict (launch_posix.cpp, launch_win32.cpp).
LaunchOutcome RunDocumentOpener(TextView path);
