// Paths as UTF-8 bytes ("path text"), the form in which the inventory keeps
// and writes them: a lone surrogate of the Text (a file-name byte that is not
// UTF-8) stays encoded on its own (ED xx xx), so that an output can give the
// exact name back. None of these calls fails.
#pragma once

#include "runtime/text.h"

#include <string>
#include <string_view>

// UTF-8 of a Text, a lone surrogate encoded on its own, and the Text back
// from it (a byte that is not such UTF-8 is taken as Latin-1).
std::string PathText(TextView path);
Text TextFromPathText(std::string_view bytes);
// The folder part of a path in PathText form, with its final separator.
std::string_view FolderOfPathText(std::string_view path);
