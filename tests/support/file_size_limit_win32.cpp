#include "file_size_limit.h"

bool FileSizeLimit::Supported() { return false; }
FileSizeLimit::FileSizeLimit(std::int64_t) {}
FileSizeLimit::~FileSizeLimit() = default;
