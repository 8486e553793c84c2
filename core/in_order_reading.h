// Many projects read at once, handed over in the order of their paths.
#pragma once

#include "core/project_file_inventory.h"

#include <chrono>
#include <cstddef>
#include <functional>

// Reads projects 0..count-1 with `jobs` threads (read(i) runs on them) and
// hands each result to deliver(i, result) on the calling thread, in index
// order, as soon as it and every one before it are read. A thread takes
// `batch` consecutive projects at a time; at most `window` results (at least
// one batch) are read ahead of the one handed over next, so that a slow
// project holds back only that many. A thread is woken only when there is a
// batch for it, so threads beyond the work at hand cost nothing. While it
// waits, and between results, the calling thread calls idle() about every
// `tick` (a progress line).
// deliver returning false stops the reading: no further project is started,
// and readInOrder returns false once the threads have ended; it returns true
// when every result was handed over. A read that runs out of memory is the
// error "not enough memory to read it" of that project.
struct InOrderReading {
  std::size_t count = 0;
  unsigned jobs = 1;
  std::size_t window = 8;
  std::size_t batch = 1;
  std::function<ProjectFileResult(std::size_t)> read;
  std::function<bool(std::size_t, ProjectFileResult&)> deliver;
  std::function<void()> idle;
  std::chrono::milliseconds tick{250};
};
bool readInOrder(const InOrderReading& reading);
