// The opener's verdict awaited on a thread of its own: the window is never
// held up by it, and the exporter waits for it a bounded while only.
#include "runtime/launch.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

constexpr auto kVerdictWait = std::chrono::seconds(2);

}  // namespace

void LaunchDocumentInBackground(TextView path, std::function<void(LaunchOutcome)> done) {
  try {
    std::thread([path = Text(path), done] { done(RunDocumentOpener(path)); }).detach();
  } catch (const std::system_error&) {
    done(LaunchOutcome{LaunchResult::Failed, u"no thread could be started to open it"});
  }
}

LaunchOutcome LaunchDocument(TextView path) {
  struct Verdict {
    std::mutex mutex;
    std::condition_variable arrived;
    bool known = false;
    LaunchOutcome outcome;
  };
  // Shared with the thread, which may outlive this call.
  auto verdict = std::make_shared<Verdict>();
  LaunchDocumentInBackground(path, [verdict](LaunchOutcome outcome) {
    const std::lock_guard<std::mutex> lock(verdict->mutex);
    verdict->outcome = std::move(outcome);
    verdict->known = true;
    verdict->arrived.notify_all();
  });
  std::unique_lock<std::mutex> lock(verdict->mutex);
  verdict->arrived.wait_for(lock, kVerdictWait, [&] { return verdict->known; });
  return verdict->known ? verdict->outcome : LaunchOutcome{};
}
