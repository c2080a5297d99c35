// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The audio thread's rules made checkable. A build with SORVANTO_RTSAN (clang's
// RealtimeSanitizer) marks the functions of the audio thread's path SORVANTO_NONBLOCKING:
// anything they reach at run time that locks, allocates, frees or makes a blocking system call
// is reported and ends the program. Other builds compile the marks away.
//
// The sound library's own calls that its API requires on the audio thread (libpulse's write of
// the rendered block) are made inside a LibraryCallScope, which lets them pass; each use says why
// that call is needed there.

#if defined(SORVANTO_RTSAN) && defined(__clang__)
#include <sanitizer/rtsan_interface.h>
#define SORVANTO_NONBLOCKING [[clang::nonblocking]]
namespace DX7Sound {
using LibraryCallScope = __rtsan::ScopedDisabler;
}
#else
#define SORVANTO_NONBLOCKING
namespace DX7Sound {
// Compiled away outside the RealtimeSanitizer build.
struct LibraryCallScope
{
};
}
#endif
