#include "core/in_order_reading.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <vector>

bool readInOrder(const InOrderReading& reading) {
  const std::size_t count = reading.count;
  const std::size_t batch = std::max<std::size_t>(reading.batch, 1);
  const std::size_t window = std::max(reading.window, batch);
  std::mutex mutex;
  std::condition_variable ready;  // the next result to hand over is there
  std::condition_variable room;   // a batch may be started
  std::vector<std::optional<ProjectFileResult>> slots(std::min(window, std::max<std::size_t>(count, 1)));
  std::size_t next = 0;       // the next project to start
  std::size_t handedOver = 0; // results handed over so far
  bool stop = false;
  bool waitingForNext = false;  // the calling thread waits for result handedOver
  unsigned idleWorkers = 0;     // workers waiting for room
  unsigned wakingWorkers = 0;   // of those, woken and not yet running

  // The batches that may be started now: whole ones inside the window, or
  // the last one of the archive.
  auto startable = [&]() -> std::size_t {
    const std::size_t limit = std::min(count, handedOver + slots.size());
    if (next >= limit) return 0;
    return limit == count ? (limit - next + batch - 1) / batch : (limit - next) / batch;
  };
  // Wakes one idle worker for each batch that no running worker will take.
  auto wakeForWork = [&] {
    if (idleWorkers > wakingWorkers && startable() > wakingWorkers) {
      ++wakingWorkers;
      room.notify_one();
    }
  };

  auto work = [&] {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      while (!stop && next < count && startable() == 0) {
        ++idleWorkers;
        room.wait(lock);
        --idleWorkers;
        if (wakingWorkers > 0) --wakingWorkers;
      }
      if (stop || next >= count) return;
      const std::size_t first = next;
      const std::size_t end = std::min({first + batch, count, handedOver + slots.size()});
      next = end;
      wakeForWork();
      for (std::size_t i = first; i < end; ++i) {
        lock.unlock();
        ProjectFileResult result;
        try {
          result = reading.read(i);
        } catch (const std::bad_alloc&) {
          result = ProjectFileResult();
          result.reason = "not enough memory to read it";
        }
        lock.lock();
        slots[i % slots.size()] = std::move(result);
        if (i == handedOver && waitingForNext) ready.notify_one();
        if (stop) return;
      }
    }
  };

  // No more threads than there can be batches at once (the window's, and the
  // one whose first results are handed over): more would never have work.
  const std::size_t batches = std::min((count + batch - 1) / batch, (slots.size() + batch - 1) / batch + 1);
  const unsigned jobs = static_cast<unsigned>(std::clamp<std::size_t>(reading.jobs, 1, std::max<std::size_t>(batches, 1)));
  std::vector<std::thread> pool;
  auto end = [&] {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stop = true;
    }
    room.notify_all();
    for (std::thread& t : pool) t.join();
  };
  bool handedAll = true;
  try {
    for (unsigned j = 0; j < jobs && count > 0; ++j) pool.emplace_back(work);
    auto lastIdle = std::chrono::steady_clock::now();
    auto idle = [&] {
      if (reading.idle) reading.idle();
      lastIdle = std::chrono::steady_clock::now();
    };
    std::unique_lock<std::mutex> lock(mutex);
    while (handedOver < count) {
      std::optional<ProjectFileResult>& slot = slots[handedOver % slots.size()];
      if (!slot.has_value()) {
        waitingForNext = true;
        const bool there = ready.wait_for(lock, reading.tick, [&] { return slot.has_value(); });
        waitingForNext = false;
        if (!there) {
          lock.unlock();
          idle();
          lock.lock();
          continue;
        }
      }
      ProjectFileResult result = std::move(*slot);
      slot.reset();
      const std::size_t i = handedOver++;
      wakeForWork();
      lock.unlock();
      const bool more = reading.deliver(i, result);
      if (std::chrono::steady_clock::now() - lastIdle >= reading.tick) idle();
      lock.lock();
      if (!more) {
        handedAll = false;
        break;
      }
    }
  } catch (...) {
    end();
    throw;
  }
  end();
  return handedAll;
}
