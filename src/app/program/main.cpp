#include "app/entry.hpp"
#include "app/least_start_up.hpp"

int main(int argc, char** argv)
{
    tzo::gf_installStartUpBody(tzo::lf_leastStartUp);
    return tzo::gf_programMain(argc, argv);
}
