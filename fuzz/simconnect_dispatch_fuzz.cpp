// A byte stream from the simulator, cut into messages by the client's framing
// and handed to the program's dispatch procedure: nothing is read past a
// message, nothing crashes. The first byte sets the size of the reads.
#include "foundation/exceptions.hpp"
#include "simconnect/framer.hpp"
#include "simconnect/sim_dispatch.hpp"
#include "simconnect/sim_notifications.hpp"
#include "simconnect/sim_queues.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t step = 1 + data[0] % 64;
    ++data;
    --size;
    gf_resetSimConnection();
    tzo::MessageFramer framer(41088);
    std::vector<std::vector<std::uint8_t>> messages;
    std::size_t pos = 0;
    while (pos < size) {
        std::span<std::uint8_t> space;
        if (framer.freeSpace(space))
            break;
        const std::size_t n = std::min({step, space.size(), size - pos});
        std::memcpy(space.data(), data + pos, n);
        pos += n;
        if (framer.commit(n, messages))
            break;
    }
    for (auto& m : messages) {
        if (m.size() < 12)
            continue;
        // An exact-size copy, as the connection hands it over.
        std::vector<std::uint8_t> copy(m);
        try {
            lf_dispatch(reinterpret_cast<SimConnectRecv*>(copy.data()), static_cast<std::uint32_t>(copy.size()),
                        nullptr);
        } catch (const tzo::UserErrorException&) {
        }
    }
    tzo::gf_clearSimNotifications();
    return 0;
}
