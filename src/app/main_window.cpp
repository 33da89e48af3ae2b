#include "app/main_window.hpp"

#include "foundation/settings.hpp"

namespace tzo {

MainWindowObject::MainWindowObject()
    : MAIN_WINDOW_X(::MAIN_WINDOW_X), MAIN_WINDOW_Y(::MAIN_WINDOW_Y),
      separators{{
          {{0, 140}, {880, 140}},
          {{0, 168}, {642, 168}},
          {{0, 196}, {642, 196}},
          {{0, 224}, {642, 224}},
          {{0, 252}, {642, 252}},
          {{0, 280}, {642, 280}},
          {{0, 308}, {642, 308}},
          {{642, 336}, {880, 336}},
      }}
{
    ready.store(true);
}

MainWindowObject::~MainWindowObject()
{
    paintDc = nullptr;
    mainWindow.store(nullptr);
}

void MainWindowObject::resetShownState()
{
    userTitleText.clear();
    parkAirportText.clear();
    parkPublisherText.clear();
    parkQualityText.clear();
    simulatorText.clear();
    realTrafficText.clear();
    userStandText.clear();
    staticAverageFit = -1.0f;
    liveAverageFit = -1.0f;
    liveryCount = -1;
    {
        std::lock_guard lock(statusMutex);
        statusClock = 0;
        statusShownAt = 0;
    }
    standUpdates = 0;
    liveShown = 0;
    orbxAirports = 0;
    thirdpartyAirports = 0;
    maxPark = 0;
    parkedLive = 0;
    parkedStatic = 0;
    qnh = 0;
    standCount = 0;
    minutesToRenewal = 0;
    handmadeAirport = false;
    operationsNotStarted = true;
    realTrafficConnected = false;
    parkAirportShown = false;
    simConnected = false;
    flightRunningShown = false;
    userModelKnown = true;
    orbxComplete = true;
    staticParkingShown = false;
    reservedStandOk = false;
    myParkAirportsOk = true;
    trafficReaderState = 3;
    weatherReaderState = 3;
}

} // namespace tzo

tzo::MainWindowObject mainWindowObject;
std::atomic<bool> busy{false};
std::atomic<ui::Window*> currentWindow{nullptr};

void gf_invalidateMainWindow(const ui::Rect& rect)
{
    if (auto* window = mainWindowObject.mainWindow.load())
        window->invalidate(rect);
}
