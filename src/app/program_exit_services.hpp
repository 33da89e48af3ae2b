#pragma once
// The exit's work on the program's real subsystems: every entry of
// ExitServices but its wait, which the default does.

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
    bool mainLoopRunning() override;
    void removeFlightPlanFolder() override;
    void logNoMatches() override;
    void resetOutsideState() override;
    void resetTraffic() override;
    void resetWindow() override;
    bool postToWindow(WindowMessage message) override;
    void logMatchingSummary() override;
};

} // namespace tzo
