#pragma once
// The exit's work on the program's real subsystems. What a subsystem not yet
// present would do is left to the defaults of ExitServices, which have nothing
// to act on.

#include "app/exit.hpp"

namespace tzo {

class ProgramExitServices : public ExitServices {
public:
    void stopReaders() override;
    void closeServer() override;
    void resetTrafficInput() override;
    void requestThreadStops() override;
    void clearBlockedCallsign() override;
    void switchScansOff() override;
    void resetRange() override;
    void closeParkAirport() override;
    void removeFlightPlanFolder() override;
    void logNoMatches() override;
    void resetOutsideState() override;
    void resetTraffic() override;
    void resetWindow() override;
    bool postToWindow(WindowMessage message) override;
    void logMatchingSummary() override;
};

} // namespace tzo
