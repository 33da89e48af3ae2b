#pragma once
// One installed livery as the scan finds it and the catalogue keeps it.

#include <cstdint>
#include <string>

namespace tzo {

struct LiveryData {
    std::string airl;  // airline code; "ZZZ" generic, "PVT" private owner
    std::string type;  // model code from the file's atc_model line
    std::string title; // the container title, exactly as the simulator takes it
    std::string atcid; // registration, at most 12 bytes, or empty
    std::uint32_t priority = 0; // rank of the SimObjects folder, 1..10
    bool cargo = false;

    bool operator==(const LiveryData&) const = default;
};

} // namespace tzo
