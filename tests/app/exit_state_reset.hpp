#pragma once
// An exit that ends the program leaves `exiting` set for good, as the program
// needs; tests of one process that follow must start from an idle exit.

#include "foundation/run_state.hpp"

namespace apptest {

inline void resetExitState()
{
    exiting.store(false);
    userClosed.store(false);
    exitReason.store(ExitReason::NOT_YET_SET);
}

} // namespace apptest
