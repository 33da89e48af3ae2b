// Static parking's state reaches the main window's park-airport box through
// its repaint hook: what the driver, the fit and the park airports file
// changed on the main loop is what the window thread paints.

#include "app/controls.hpp"
#include "app/main_window.hpp"
#include "parking/hour_fit.hpp"
#include "parking/park_airports_file.hpp"
#include "parking/static_parking_driver.hpp"

#include <gtest/gtest.h>

namespace {

void resetParkingShown()
{
    airportFileRead = false;
    reservedStandPresent = false;
    airportBoxText.clear();
    parkAirportsOkay = false;
    wantedParkedShown = 0;
    softFitShown = false;
    mainWindowObject.resetShownState();
}

} // namespace

TEST(ParkingWindow, theRepaintHookCopiesStaticParkingStateIntoTheWindow)
{
    resetParkingShown();
    airportFileRead = true;
    reservedStandPresent = true;
    airportBoxText.set("Fiumicino");
    parkAirportsOkay = false;
    wantedParkedShown = 36;
    softFitShown = true;
    lf_showStaticParkingState();

    const auto& o = mainWindowObject;
    EXPECT_TRUE(o.parkAirportShown.load());
    EXPECT_TRUE(o.reservedStandOk.load());
    EXPECT_EQ(o.parkAirportText.get(), "Fiumicino");
    EXPECT_FALSE(o.myParkAirportsOk.load());
    EXPECT_EQ(o.maxPark.load(), 36);
    EXPECT_TRUE(o.staticParkingShown.load());

    // Leaving the park airport clears them all again.
    resetParkingShown();
    parkAirportsOkay = true;
    lf_showStaticParkingState();
    EXPECT_FALSE(o.parkAirportShown.load());
    EXPECT_EQ(o.parkAirportText.get(), "");
    EXPECT_EQ(o.maxPark.load(), 0);
    EXPECT_TRUE(o.myParkAirportsOk.load());
    resetParkingShown();
}
