#pragma once
// The main window's object: its position settings, its colours and lines, the
// geometry of its bands, and the state that the painter shows. Other threads
// write the state (simulator side, RealTraffic side, airports, static parking)
// and then invalidate the band that shows it; only the window thread paints.
// Texts are SharedText (copied under their own mutex), counters and flags are
// atomic; the status and error lines are guarded by statusMutex.

#include "foundation/parameters.hpp"
#include "foundation/shared_text.hpp"
#include "platform/ui/window.hpp"
#include "realtraffic/link_state.hpp"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tzo {

struct LineSegment {
    ui::Point from;
    ui::Point to;
};

class MainWindowObject {
public:
    MainWindowObject();
    virtual ~MainWindowObject();
    MainWindowObject(const MainWindowObject&) = delete;
    MainWindowObject& operator=(const MainWindowObject&) = delete;

    // Puts the shown texts, counters and flags back to their start values
    // (before a restart). The status and error lines have their own clearing.
    void resetShownState();

    // The window position settings (stored in "parameters.xml" with the others).
    IntParameter& MAIN_WINDOW_X;
    IntParameter& MAIN_WINDOW_Y;

    const ui::Color redBrush = ui::rgb(255, 0, 0);
    const ui::Color lightBlueBrush = ui::rgb(153, 204, 255);
    const ui::Color blackBrush = ui::rgb(0, 0, 0);
    const ui::Color greenBrush = ui::rgb(50, 205, 50);
    const ui::Color yellowBrush = ui::rgb(255, 255, 0);
    const ui::Color blackPen = ui::rgb(0, 0, 0);
    const ui::Color whitePen = ui::rgb(255, 255, 255);
    // The black row separators of the controls band.
    const std::array<LineSegment, 8> separators;

    // Guards statusText, errorText, statusShownAt and statusClock.
    std::mutex statusMutex;
    // The painter of the paint in progress; window thread only.
    ui::Painter* paintDc = nullptr;
    std::atomic<ui::Window*> mainWindow{nullptr};

    std::string statusText;
    std::string errorText;
    // What the red band shows: the error line and the lines its own step
    // logged to explain it just before (at most three, since the last status
    // line), each kept with the thread that logged it.
    std::string errorBand;
    std::vector<std::pair<std::thread::id, std::string>> errorHints;

    SharedText userTitleText;
    SharedText parkAirportText;
    SharedText parkPublisherText;
    SharedText parkQualityText;
    SharedText simulatorText;
    SharedText realTrafficText;
    SharedText userStandText;

    std::atomic<float> staticAverageFit{-1.0f};
    std::atomic<float> liveAverageFit{-1.0f};
    std::atomic<std::int64_t> liveryCount{-1};
    const std::int32_t parkBoxY = 371;
    // Seconds of running flight, and the clock value at which the status
    // line was shown (0: none); under statusMutex.
    std::int32_t statusClock = 0;
    std::int32_t statusShownAt = 0;
    std::atomic<std::uint32_t> standUpdates{0};
    std::atomic<std::uint32_t> liveShown{0};
    std::atomic<std::int32_t> orbxAirports{0};
    std::atomic<std::int32_t> thirdpartyAirports{0};
    std::atomic<std::int32_t> maxPark{0};
    std::atomic<std::int32_t> parkedLive{0};
    std::atomic<std::int32_t> parkedStatic{0};
    // The RealTraffic link's own state, shown here: one storage, two names.
    std::atomic<int>& qnh = ::qnh;
    std::atomic<std::int32_t> standCount{0};
    std::atomic<std::int32_t> minutesToRenewal{0};
    std::atomic<bool> handmadeAirport{false};
    std::atomic<bool> operationsNotStarted{true};
    std::atomic<bool>& realTrafficConnected = ::realTrafficConnected;
    std::atomic<bool> parkAirportShown{false};
    std::atomic<bool> simConnected{false};
    std::atomic<bool> flightRunningShown{false};
    std::atomic<bool> userModelKnown{true};
    std::atomic<bool> orbxComplete{true};
    std::atomic<bool> staticParkingShown{false};
    std::atomic<bool> reservedStandOk{false};
    std::atomic<bool> myParkAirportsOk{true};
    // Set last, when construction is complete; the window creation waits for it.
    std::atomic<bool> ready{false};
    // Reader states: 1 receiving, 2 nothing since the last check, 3 stopped.
    std::atomic<int>& trafficReaderState = ::trafficReaderState;
    std::atomic<int>& weatherReaderState = ::weatherReaderState;
};

} // namespace tzo

extern tzo::MainWindowObject mainWindowObject;

// Static parking is at work and its controls are disabled.
extern std::atomic<bool> busy;
// The window the window procedure last handled a message for (always the
// main window); the control setters find their controls under it.
extern std::atomic<ui::Window*> currentWindow;

// The window's fixed size and its bands (client pixels).
inline constexpr int kMainWindowWidth = 880;
inline constexpr int kMainWindowHeight = 488;
inline constexpr ui::Rect kHeaderBand{0, 0, 880, 28};
inline constexpr ui::Rect kStatisticsBand{0, 28, 880, 112};
inline constexpr ui::Rect kControlsBand{0, 112, 880, 364};
inline constexpr ui::Rect kParkAirportBox{0, 364, 880, 420};
inline constexpr ui::Rect kStatusBand{0, 420, 880, 448};
// An error of more than two lines grows its red band upwards over the
// park-airport box.
inline constexpr ui::Rect kErrorBand{0, 364, 880, 448};
// What the writers of the header and statistics texts invalidate.
inline constexpr ui::Rect kHeaderAndStatistics{0, 28, 880, 112};
inline constexpr ui::Rect kSimIndicatorBox{397, 30, 425, 112};
inline constexpr ui::Rect kRtIndicatorBox{425, 30, 453, 112};

// Invalidates a part of the main window (with erase); nothing before the window exists.
void gf_invalidateMainWindow(const ui::Rect& rect);
