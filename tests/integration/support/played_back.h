// Loopback checks of the integration tests: what a host recorded against what it played.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace vexa::testing {

// Every half the host recorded is, bit for bit, what it had played, in the order played. A
// half the host was late for on a busy machine comes back as the half that was in the buffer
// then, or torn between that one and the one being written: at most two runs, each the same
// frames of a played half. No sample ever changes. Returns the number of recorded halves
// checked, or -1 at the first that breaks this.
inline long halvesPlayedBack(const std::vector<int32_t>& recorded, const std::vector<int32_t>& played,
                      size_t frames) {
  size_t recordedHalves = recorded.size() / frames, playedHalves = played.size() / frames;
  // How many frames from `start` on recorded half r and played half p share.
  auto run = [&](size_t r, size_t p, size_t start) {
    size_t f = start;
    while (f < frames && recorded[r * frames + f] == played[p * frames + f]) ++f;
    return f - start;
  };
  // Silence comes back until the first half the host played has gone round.
  size_t r = 0;
  auto silent = [&](size_t h) {
    for (size_t f = 0; f < frames; ++f)
      if (recorded[h * frames + f] != 0) return false;
    return true;
  };
  while (r < recordedHalves && silent(r)) ++r;
  long checked = 0;
  size_t from = 0;
  for (; r < recordedHalves; ++r, ++checked) {
    size_t best = from, longest = 0;
    for (size_t p = from; p < playedHalves && longest < frames; ++p) {
      size_t length = run(r, p, 0);
      if (length > longest) longest = length, best = p;
    }
    if (longest < frames) {
      bool rest = false;
      for (size_t p = 0; p < playedHalves && !rest; ++p) rest = run(r, p, longest) == frames - longest;
      if (!rest) return -1;
    }
    from = best;
  }
  return checked;
}

}  // namespace vexa::testing
