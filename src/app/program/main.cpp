#include "app/entry.hpp"
#include "app/start_up.hpp"
#include "platform/memory.hpp"

// Read by the leak checker of a sanitizer build alone: the font library keeps
// its caches for the life of a process that drew text in a window, and they
// are not the program's to free.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

int main(int argc, char** argv)
{
    platform::keepFreedMemory();
    tzo::gf_installStartUpBody(tzo::lf_startUpNRVX);
    return tzo::gf_programMain(argc, argv);
}
