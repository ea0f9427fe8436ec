#pragma once
// VM_CHECK(condition, message): an internal invariant. Debug and sanitizer builds (VM_CHECKS) stop at
// once with the place and the message when it fails; release builds do not evaluate it at all.

#if defined(VM_CHECKS) && VM_CHECKS
#include <cstdio>
#include <cstdlib>
#define VM_CHECK(condition, message)                                                                       \
    do {                                                                                                   \
        if (!(condition)) {                                                                                \
            std::fprintf(stderr, "vistamere: check failed at %s:%d: %s (%s)\n", __FILE__, __LINE__, message, \
                         #condition);                                                                      \
            std::abort();                                                                                  \
        }                                                                                                  \
    } while (false)
#else
#define VM_CHECK(condition, message) \
    do {                             \
    } while (false && (condition))
#endif
