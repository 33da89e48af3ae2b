#include "app/entry.hpp"
#include "app/start_up.hpp"

int main(int argc, char** argv)
{
    tzo::gf_installStartUpBody(tzo::lf_startUpNRVX);
    return tzo::gf_programMain(argc, argv);
}
