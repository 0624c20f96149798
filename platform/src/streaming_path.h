// What a streaming thread runs every period (the half-buffer wait, the critical sections, the
// handle lookup) is kept together in the library's hot text: the thread comes back from each
// sleep to cold caches, and every further code page it touches costs it a miss.
#pragma once

#define VEXA_STREAMING_PATH __attribute__((hot))
