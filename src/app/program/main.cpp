#include "app/entry.hpp"
#include "app/start_up.hpp"
#include "platform/memory.hpp"

int main(int argc, char** argv)
{
    platform::keepFreedMemory();
    tzo::gf_installStartUpBody(tzo::lf_startUpNRVX);
    return tzo::gf_programMain(argc, argv);
}
