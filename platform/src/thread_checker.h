// What valgrind's thread checkers cannot see for themselves: the order a lock made of a word and
// a futex gives, and words read without it on purpose. Nothing when valgrind's headers are
// absent; a few no-op instructions outside valgrind.
#pragma once

#if __has_include(<valgrind/helgrind.h>)
#include <valgrind/helgrind.h>
#define VEXA_LOCK_ACQUIRED(word) ANNOTATE_HAPPENS_AFTER(word)
#define VEXA_LOCK_RELEASING(word) ANNOTATE_HAPPENS_BEFORE(word)
#define VEXA_RACY_WORD(address) VALGRIND_HG_DISABLE_CHECKING(address, sizeof *(address))
#else
#define VEXA_LOCK_ACQUIRED(word)
#define VEXA_LOCK_RELEASING(word)
#define VEXA_RACY_WORD(address)
#endif
