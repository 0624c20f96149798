// What valgrind's thread checkers cannot see in the streaming threads' lock-free words: the
// order a reference count or a hand-over gives, and flags read by both threads on purpose.
// Nothing on Windows or without valgrind's headers; a few no-op instructions outside valgrind.
#pragma once

#if !defined(_WIN32) && __has_include(<valgrind/helgrind.h>)
#include <valgrind/helgrind.h>
#define VEXA_HANDED_OVER(word) ANNOTATE_HAPPENS_BEFORE(word)
#define VEXA_TAKEN_OVER(word) ANNOTATE_HAPPENS_AFTER(word)
#define VEXA_SHARED_FLAG(address) VALGRIND_HG_DISABLE_CHECKING(address, sizeof *(address))
#else
#define VEXA_HANDED_OVER(word)
#define VEXA_TAKEN_OVER(word)
#define VEXA_SHARED_FLAG(address)
#endif
