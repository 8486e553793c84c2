#include "file_size_limit.h"

bool FileSizeLimit::supported() { return false; }
FileSizeLimit::FileSizeLimit(std::int64_t) {}
FileSizeLimit::~FileSizeLimit() = default;
