// SPDX-License-Identifier: GPL-3.0-or-later
// How the process's heap takes memory from the system, set once at start by every
// program that opens cases.
//
// Opening a case fills a few hundred megabytes of fresh mesh and tree storage, each
// byte written once. Taken in 4 KiB pages, that is one page fault per page (about
// 12 us each on a virtual machine), which was most of the time an open took. glibc
// backs its heaps with 2 MiB pages when told so, but it reads that setting only from
// the environment when a program starts.
#pragma once

#include <optional>
#include <string>

namespace qvbase {

// Call first thing in main, before any thread exists. Keeps freed heap (blocks up to
// 32 MiB come from the heap, whose top grows by at least 64 MiB and is trimmed only
// beyond 512 MiB: llvmpipe allocates and frees vertex storage on every draw). Where
// the kernel gives huge pages only to memory that asks for them and glibc can ask,
// the program is started again in place (same process, arguments and environment)
// with glibc's heap settings in GLIBC_TUNABLES; in the started program the call takes
// them out of the environment again, so that programs it starts run as usual. It
// returns when no new start is needed or one cannot be made (the program then runs
// with small pages). argv is main's.
void ConfigureProcessHeap(char** argv);

// The GLIBC_TUNABLES value to start again with, given the current one (null when
// unset); nothing when the current value already sets glibc's huge-page tunable (the
// user's choice stands, and a started program does not start again).
std::optional<std::string> HeapTunablesToStartWith(const char* current);
// In a program started that way, the value the environment held before (nothing:
// unset); the current value itself when it was not started that way.
std::optional<std::string> TunablesBeforeStart(const char* current);

} // namespace qvbase
