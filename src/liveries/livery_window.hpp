#pragma once
// What the livery catalogue shows in the main window: the number of
// catalogued liveries. The window layer installs the hook at start; until
// then (and in tests without a window) the count goes nowhere.

#include <cstdint>

namespace tzo {

struct LiveryWindowHooks {
    // Stores the count and repaints the area that shows it.
    void (*showLiveryCount)(std::int64_t count) = nullptr;
};

void gf_installLiveryWindowHooks(const LiveryWindowHooks& hooks);
LiveryWindowHooks gf_liveryWindowHooks();

void gf_showLiveryCount(std::int64_t count);

} // namespace tzo
