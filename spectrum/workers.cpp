// A pool of helper threads, kept for the life of the process, that join the calling thread on a
// job.
#include "spectrum/workers.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

int spectrumThreads = 0;

bool threadSettingUsable(const char *setting) {
  if (setting == nullptr || *setting == '\0') return true;
  char *end = nullptr;
  const long count = std::strtol(setting, &end, 10);
  return *end == '\0' && count >= 1 && count <= kMaxSpectrumThreads;
}

int threadCountFrom(const char *setting, unsigned processors) {
  if (setting != nullptr && *setting != '\0' && threadSettingUsable(setting)) {
    return static_cast<int>(std::strtol(setting, nullptr, 10));
  }
  if (processors == 0) return 1;
  return processors < kMaxSpectrumThreads ? static_cast<int>(processors) : kMaxSpectrumThreads;
}

namespace {

// One job at a time: a new generation starts when the previous one has ended on every helper.
struct Pool {
  std::mutex lock;
  std::condition_variable wake;
  std::condition_variable done;
  std::uint64_t generation = 0;
  int taking = 0;   // helpers 1 .. taking work on the current generation
  int running = 0;  // of those, how many have not finished
  const std::function<void(int)> *job = nullptr;
  int helpers = 0;           // helper threads started
  bool cannotStart = false;  // a start failed once: no more attempts
  // Copies of generation and running for the waits' first stretch, which watch them without
  // the lock.
  std::atomic<std::uint64_t> published{0};
  std::atomic<int> unfinished{0};
};

// How long a thread watches for the next job, or for the helpers' end, before it sleeps: a
// computation's passes follow each other within microseconds, and waking a sleeping processor
// (in a virtual machine above all) can take longer than a pass.
constexpr std::chrono::microseconds kWatch{200};

// Returns when done() holds or kWatch has passed.
template <class Done>
void watchFor(const Done &done) {
  const auto until = std::chrono::steady_clock::now() + kWatch;
  while (!done() && std::chrono::steady_clock::now() < until) std::this_thread::yield();
}

// Never destroyed: the helpers still wait on it while the process ends.
Pool &pool = *new Pool;

void helperMain(int worker, std::uint64_t seen) {
  std::unique_lock<std::mutex> hold(pool.lock);
  for (;;) {
    hold.unlock();
    watchFor([&] { return pool.published.load(std::memory_order_acquire) != seen; });
    hold.lock();
    pool.wake.wait(hold, [&] { return pool.generation != seen; });
    seen = pool.generation;
    if (worker > pool.taking) continue;
    const std::function<void(int)> &job = *pool.job;
    hold.unlock();
    job(worker);
    hold.lock();
    pool.unfinished.store(--pool.running, std::memory_order_release);
    if (pool.running == 0) pool.done.notify_one();
  }
}

// Starts helpers up to `wanted` (under the lock); returns how many there are.
int startHelpers(int wanted) {
  while (pool.helpers < wanted && !pool.cannotStart) {
    try {
      std::thread(helperMain, pool.helpers + 1, pool.generation).detach();
      ++pool.helpers;
    } catch (const std::system_error &) {
      pool.cannotStart = true;
    }
  }
  return pool.helpers < wanted ? pool.helpers : wanted;
}

}  // namespace

void runOnWorkers(int threads, const std::function<void(int)> &job) {
  int taking = 0;
  if (threads > 1) {
    std::lock_guard<std::mutex> hold(pool.lock);
    taking = startHelpers(threads - 1);
    if (taking > 0) {
      pool.job = &job;
      pool.taking = taking;
      pool.running = taking;
      pool.unfinished.store(taking, std::memory_order_relaxed);
      ++pool.generation;
      pool.published.store(pool.generation, std::memory_order_release);
    }
  }
  if (taking > 0) pool.wake.notify_all();
  job(0);
  if (taking == 0) return;
  watchFor([] { return pool.unfinished.load(std::memory_order_acquire) == 0; });
  std::unique_lock<std::mutex> hold(pool.lock);
  pool.done.wait(hold, [] { return pool.running == 0; });
}
