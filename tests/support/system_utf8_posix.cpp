#include "system_utf8.h"

bool SystemUtf8Available() { return false; }
Text SystemUtf8Decoded(std::string_view) { return {}; }
std::string SystemUtf8Encoded(TextView) { return {}; }
