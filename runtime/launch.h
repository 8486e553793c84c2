// Hands a document to the program the desktop associates with its type.
// Does not wait for that program; false when it could not be started.
#pragma once

#include "runtime/text.h"

bool LaunchDocument(TextView path);
