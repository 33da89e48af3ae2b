#include "app/entry.hpp"

int main(int argc, char** argv)
{
    return tzo::gf_programMain(argc, argv);
}
