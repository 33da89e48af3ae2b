#pragma once
// Include in one file of a test program that opens a real window: the system's font
// library keeps caches for the life of the process, which the leak checker of
// the sanitizer build would otherwise report as leaks of the test.

// Defined here (not inline) so that the one including file emits it.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libX11.so\nleak:libXft.so\n";
}
