#pragma once
// How the heap treats freed memory. The Windows heap keeps freed blocks for
// the process to use again; glibc's malloc hands large blocks and the top of
// the heap back to the system at once, so a program that loads and drops a
// large park airport or scan buffer again and again pays a page fault for
// every page each time (a 1,500-stand airport loaded ten times slower).

namespace platform {

// Keeps freed memory in the process, as the target's heap does. Called once,
// first thing in main, before any thread starts.
void keepFreedMemory();

} // namespace platform
