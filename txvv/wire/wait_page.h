// The half-buffer wait in shared memory. A streaming thread waits every half buffer; through
// the socket that costs both processes a round trip (and the daemon a thread wake) per half.
// The daemon shares one page with every client instead: a counter of completed halves, the
// rate, and a cell per handle with its wait state and a doorbell the clock thread rings. The
// socket's wait request stays and works on the same cells, so both kinds of wait agree.
//
// Every client can write the whole page, so the daemon takes nothing in it on trust: each word
// is a number whatever its value (a wrong one misleads only the handle that wrote it), and the
// doorbell is a bare futex word, which the kernel compares and wakes but never interprets. A
// libc primitive (a semaphore) would abort the daemon on a scribbled cell.
#pragma once

#include <limits.h>
#include <linux/futex.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

namespace txvv::wire {

constexpr uint32_t kWaitCells = 1024;

using SharedWord = std::atomic<uint32_t>;
static_assert(SharedWord::is_always_lock_free && sizeof(SharedWord) == 4);

// One open handle's waits.
struct alignas(64) WaitCell {
  SharedWord doorbell;  // moved on by the clock thread for each half while someone sleeps
  SharedWord sleepers;  // threads of the handle asleep on the doorbell
  SharedWord woken;     // the page's half count this handle's waits have been woken up to
  SharedWord rateSeen;  // the rate generation this handle's last wait reported
};

struct WaitPage {
  // Counts every half the card completes, wrapping; compared by difference.
  alignas(64) SharedWord halves;
  SharedWord startMark;  // `halves` at the stream's last start: earlier halves are owed to no one
  SharedWord rate;
  SharedWord rateGeneration;  // written after `rate`
  WaitCell cells[kWaitCells];
};

static_assert(sizeof(WaitCell) == 64 && offsetof(WaitPage, cells) == 64);

// Counts are compared by how far they lie behind `halves`, which is right across the wrap as
// long as none is 2^32 halves old. Read `woken` before `halves`: a cell is never woken up to a
// half this thread has not seen yet.

// Halves completed since the cell was last woken and since the start, whichever is fewer.
inline uint32_t owedHalves(uint32_t halves, uint32_t woken, uint32_t mark) {
  uint32_t sinceWoken = halves - woken, sinceStart = halves - mark;
  return sinceWoken < sinceStart ? sinceWoken : sinceStart;
}

// A wait's first step: each half completed since the start wakes each handle once, even when
// the handle comes to wait late. True when the cell was owed a half and has taken it; false
// with *seen set to the half count to sleep on.
inline bool claimOwedHalf(WaitPage& page, WaitCell& cell, uint32_t* seen) {
  uint32_t woken = cell.woken.load();
  for (;;) {
    uint32_t halves = page.halves.load();
    uint32_t owed = owedHalves(halves, woken, page.startMark.load());
    if (owed == 0) {
      *seen = halves;
      return false;
    }
    if (cell.woken.compare_exchange_weak(woken, halves - owed + 1)) return true;
  }
}

// A sleeping wait was ended by the first half after `seen` (or, if the stream started
// meanwhile, by the first half of the new run): that half is this handle's.
inline void recordWake(WaitPage& page, WaitCell& cell, uint32_t seen) {
  uint32_t woken = cell.woken.load();
  for (;;) {
    uint32_t halves = page.halves.load();
    uint32_t mark = page.startMark.load();
    uint32_t wake = halves - owedHalves(halves, seen, mark) + 1;
    if (owedHalves(halves, woken, mark) <= halves - wake) return;  // woken that far already
    if (cell.woken.compare_exchange_weak(woken, wake)) return;
  }
}

// The doorbell's two sides. Shared futexes: the page is mapped by other processes. A sleeper
// reads the doorbell before it looks at `halves` for the last time, so a ring in between makes
// its sleep return at once.
inline void ringDoorbell(SharedWord& doorbell) {
  doorbell.fetch_add(1);
  syscall(SYS_futex, &doorbell, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

// Returns on a ring, on a signal, or at once when the doorbell no longer reads `rung`.
inline void sleepOnDoorbell(SharedWord& doorbell, uint32_t rung) {
  syscall(SYS_futex, &doorbell, FUTEX_WAIT, rung, nullptr, nullptr, 0);
}

// What a completed wait answers: the rate, and whether it changed since the handle's last wait.
inline void waitAnswer(WaitPage& page, WaitCell& cell, uint32_t words[2]) {
  uint32_t generation = page.rateGeneration.load();
  words[0] = page.rate.load();
  words[1] = cell.rateSeen.exchange(generation) != generation;
}

}  // namespace txvv::wire
