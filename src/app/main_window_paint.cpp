#include "app/main_window_paint.hpp"

#include "airports/airport_services.hpp"
#include "app/main_window.hpp"
#include "foundation/encoding.hpp"
#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "foundation/number_text.hpp"
#include "foundation/settings.hpp"
#include "foundation/version.hpp"
#include "parking/static_parking_services.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/stand_fit.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <vector>

using namespace tzo;

namespace {

constexpr std::uint32_t kParkedPhase = 6;

int lf_row(const ParameterControl& control)
{
    return static_cast<int>(control.y());
}

void lf_line(ui::Painter& painter, ui::Point from, ui::Point to, ui::Color pen)
{
    painter.line(from, to, pen);
}

void lf_paintStatistics(ui::Painter& painter)
{
    auto& o = mainWindowObject;
    const bool simConnected = o.simConnected.load();
    const std::string title = o.userTitleText.get();
    const bool good = simConnected && o.flightRunningShown.load() && !title.empty();
    const bool half = simConnected && !good;
    const ui::Color simColour = good ? kGreen : half ? kYellow : kRed;
    painter.fillRect(kSimIndicatorBox, simColour);
    lf_textOut(398, 63, "Sim", kBlack);

    if (simConnected) {
        std::string simulator = o.simulatorText.get();
        const std::string stand = o.userStandText.get();
        if (!stand.empty())
            simulator += ", user stand " + stand;
        lf_textOut(5, 35, simulator, simColour);
        lf_textOut(5, 63, title, o.userModelKnown.load() ? simColour : kYellow);
    }

    const std::int64_t liveries = o.liveryCount.load();
    if (liveries > 0)
        lf_textOut(5, 91, fmt::format("# liveries: {}", liveries), kGreen);
    else
        lf_textOut(5, 91, "# liveries: ...", kRed);

    const std::int32_t orbx = o.orbxAirports.load();
    if (orbx > 0)
        lf_textOut(141, 91, fmt::format("# {}: {}", "ORBX", orbx), o.orbxComplete.load() ? kGreen : kYellow);
    else
        lf_textOut(141, 91, std::string("# ") + "ORBX" + ": ...", kYellow);

    const std::int32_t thirdparty = o.thirdpartyAirports.load();
    if (thirdparty > 0)
        lf_textOut(278, 91, fmt::format("# thirdp: {}", thirdparty), kGreen);
    else
        lf_textOut(278, 91, "# thirdp: ...", kYellow);

    const bool rtConnected = o.realTrafficConnected.load();
    const int trafficState = o.trafficReaderState.load();
    const int weatherState = o.weatherReaderState.load();
    ui::Color rtColour = kBlack;
    if (!o.operationsNotStarted.load())
        rtColour = !rtConnected ? kRed : trafficState == 1 ? kGreen : kYellow;
    painter.fillRect(kRtIndicatorBox, rtColour);
    lf_textOut(430, 63, "RT", kBlack);

    if (rtConnected) {
        lf_textOut(458, 35, o.realTrafficText.get(), kGreen);
        if (weatherState != 3)
            lf_textOut(458, 63, "Weather", weatherState == 1 ? kGreen : kYellow);
        if (trafficState != 3)
            lf_textOut(458, 91, "Traffic", trafficState == 1 ? kGreen : kYellow);
    }
    lf_line(painter, {425, 29}, {425, 112}, o.blackPen);
}

void lf_paintLabels()
{
    auto& o = mainWindowObject;
    const auto grey = [](const BoolParameterCheckBox& box) {
        const auto* window = currentWindow.load();
        return window && !window->isEnabled(box.controlId()) ? kGrey : kBlack;
    };

    lf_textOut(5, lf_row(SIM_INSTALL_PATH), "Install path:", kBlack);

    const int ligRow = lf_row(LIG_AUTOMATIC);
    lf_textOut(25, ligRow, "Scan for liveries:", SCAN_LIVERIES.value() ? kRed : kBlack);
    lf_textOut(237, ligRow, "Automatic", kBlack);
    lf_textOut(343, ligRow, "Prioritize", kBlack);
    lf_textOut(450, lf_row(SUPPRESS_STUB), "STUB", SUPPRESS_STUB.value() ? kBlack : kGrey);
    lf_textOut(672, lf_row(LOG), "Log", kBlack);
    lf_textOut(768, lf_row(ALWAYS_ON_TOP), "Stay on top", ALWAYS_ON_TOP.value() ? kYellow : kBlack);

    const int afgRow = lf_row(AFG_AUTOMATIC);
    lf_textOut(25, afgRow, "Scan for addon airports:", SCAN_AIRPORTS.value() ? kRed : kBlack);
    lf_textOut(237, afgRow, "Automatic", kBlack);
    if (const std::int32_t tblo = tbloAirportCount.load(); tblo > 0)
        lf_textOut(323, afgRow, fmt::format("{} airport{} in TBLO folder", tblo, tblo > 1 ? "s" : ""), kYellow);
    lf_textOut(672, lf_row(NAV_LIGHTS_WHILE_PARKED), "Nav lights", kBlack);
    lf_textOut(768, lf_row(LEARN_SOFT), "Learn Soft", kBlack);

    lf_textOut(5, lf_row(MATCHING_DEPTH), "Max aircraft matching depth:", kBlack);
    lf_textOut(253, lf_row(LIGHT_AIRCRAFT), "Optional:", kBlack);
    lf_textOut(343, lf_row(LIGHT_AIRCRAFT), "Light aircraft", grey(LIGHT_AIRCRAFT));
    lf_textOut(450, lf_row(HELICOPTERS), "Helicopters", grey(HELICOPTERS));
    lf_textOut(556, lf_row(HIGH_PERF_AIRCRAFT), "FighterJets", grey(HIGH_PERF_AIRCRAFT));
    lf_textOut(672, lf_row(AEROWINX), "Aerowinx", AEROWINX.value() ? kYellow : kBlack);
    lf_textOut(768, lf_row(GUID_CHANGES), "GUID changes", GUID_CHANGES.value() ? kBlack : kYellow);

    const int rangeRow = lf_row(LATERAL_RANGE);
    lf_textOut(5, rangeRow, "Traffic injection", kBlack);
    lf_textOut(167, rangeRow, "radius:", kBlack);
    lf_textOut(260, rangeRow, "nm,  or", kBlack);
    lf_textOut(343, rangeRow, "auto range", kBlack);
    lf_textOut(500, lf_row(MAX_LIVE), "max live:", kBlack);

    lf_textOut(5, lf_row(BLOCK_CALLSIGN), "Callsigns", kBlack);
    lf_textOut(172, lf_row(BLOCK_CALLSIGN), "block:", kBlack);
    lf_textOut(5, lf_row(COLLISION_USER_GND), "Collision avoidance:", kBlack);
    lf_textOut(237, lf_row(COLLISION_USER_GND), "User ground", kBlack);
    lf_textOut(343, lf_row(COLLISION_USER_AIR), "User air", kBlack);
    lf_textOut(450, lf_row(COLLISION_LIVE_PARKED_GND), "Live X parked", kBlack);

    const int parkRow = lf_row(AIRPORT_RANGE);
    const bool isBusy = busy.load();
    const bool listOk = o.myParkAirportsOk.load();
    if (isBusy)
        lf_textOut(5, parkRow, "Airport static parking active:", listOk ? kYellow : kRed);
    else
        lf_textOut(5, parkRow, "Airport parking:", listOk ? kBlack : kRed);
    const std::int32_t minutes = o.minutesToRenewal.load();
    if (parkAirportActive.load() && !isBusy && !INITIAL_LOAD_ONLY.value() && minutes > 0 && minutes < 20)
        lf_textOut(111, parkRow, fmt::format("(in {} min)", minutes), kBlack);
    lf_textOut(217, parkRow, "within range (nm):", kBlack);
    lf_textOut(430, lf_row(AIRPORT_HEIGHT), "< height above gnd (ft):", kBlack);

    lf_textOut(25, lf_row(PARK_FAKE), "Fake", kBlack);
    lf_textOut(91, lf_row(WEEK), "Week", kBlack);
    lf_textOut(171, lf_row(PARK_SOFT), "Soft", kBlack);
    lf_textOut(262, lf_row(parking_percentage), "%", kBlack);
    lf_textOut(343, lf_row(INITIAL_LOAD_ONLY), "ILO", kBlack);
    lf_textOut(400, lf_row(MAX_FIT_FL), "Max fit:", kBlack);
}

void lf_paintParkAirportBox()
{
    auto& o = mainWindowObject;
    const std::string code = parkAirportCode.get();
    if (code.empty())
        return;
    const int y0 = o.parkBoxY;
    const int y1 = y0 + 28;
    const bool shown = o.parkAirportShown.load();
    lf_textOut(5, y0, code, shown ? kGreen : kYellow);
    if (!shown)
        return;
    lf_textOut(85, y0,
               fmt::format(" {},  {} {}", o.parkAirportText.get(), o.parkPublisherText.get(),
                           o.handmadeAirport.load() ? "(h)" : ""),
               kGreen);
    lf_textOut(370, y0, o.staticParkingShown.load() ? "*S*" : "", kGreen);
    lf_textOut(430, y0, fmt::format("qf: {}", o.parkQualityText.get()), kGreen);
    if (const std::string stand = reservedStand.get(); !stand.empty())
        lf_textOut(571, y0, fmt::format("reserved stand: {}", stand), o.reservedStandOk.load() ? kGreen : kRed);
    lf_textOut(748, y0, fmt::format("# updates: {:4}", o.standUpdates.load()), kGreen);

    lf_textOut(5, y1, fmt::format("# stands: {:3}", o.standCount.load()), kGreen);
    lf_textOut(111, y1, fmt::format("parked live: {:3}", o.parkedLive.load()), kGreen);
    if (const float fit = o.liveAverageFit.load(); fit > 0.0f)
        lf_textOut(249, y1, fmt::format("average fit: {}", gf_formatNumber(fit)), kGreen);
    const std::int32_t maxPark = o.maxPark.load();
    if (maxPark > 0) {
        lf_textOut(430, y1, fmt::format("parked static: {:3}", o.parkedStatic.load()), kGreen);
        if (const float fit = o.staticAverageFit.load(); !WEEK.value() && fit > 0.0f)
            lf_textOut(571, y1, fmt::format("average fit: {}", gf_formatNumber(fit)), kGreen);
    }
    lf_textOut(708, y1, fmt::format("max park: {:3} (={}% )", maxPark, parking_percentage.value()), kGreen);
}

} // namespace

void lf_textOut(int x, int y, std::string_view text, ui::Color colour)
{
    ui::Painter* painter = mainWindowObject.paintDc;
    // An empty text draws nothing.
    if (painter == nullptr || text.empty())
        return;
    try {
        (void)gf_utf8ToUtf16(text);
    } catch (const win32::Utf8ConversionException& e) {
        gf_logLineString(fmt::format("{} conversion exception {}, error code: {}", text, e.what(), e.errorCode()));
        return;
    } catch (const std::overflow_error& e) {
        gf_logLineString(fmt::format("{} {}", text, e.what()));
        return;
    }
    painter->text(x, y, text, colour);
}

namespace {

// The band's width in characters of the window's font, with room for wide ones.
constexpr std::size_t kBandCharacters = 120;
constexpr int kBandLineHeight = 14;

// The text's lines, each cut at blanks into pieces that fit the band's width
// (a piece without a blank is cut where it must be).
std::vector<std::string_view> lf_wrapped(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        const std::size_t newline = std::min(text.find('\n', begin), text.size());
        std::string_view rest = text.substr(begin, newline - begin);
        while (rest.size() > kBandCharacters) {
            std::size_t cut = rest.rfind(' ', kBandCharacters);
            if (cut == std::string_view::npos || cut == 0)
                cut = kBandCharacters;
            lines.push_back(rest.substr(0, cut));
            rest.remove_prefix(cut);
            while (!rest.empty() && rest.front() == ' ')
                rest.remove_prefix(1);
        }
        lines.push_back(rest);
        begin = newline + 1;
    }
    return lines;
}

// One line in the middle of the band; two lines (an error that says what it
// needs) fill the band; more grow the band upwards over the park-airport box,
// as far as it reaches, the first lines kept: the error itself comes first,
// what explains it after.
void lf_statusBandText(std::string_view text, ui::Color fill)
{
    std::vector<std::string_view> lines = lf_wrapped(text);
    if (lines.size() == 1) {
        lf_textOut(3, 427, lines.front(), kYellow);
        return;
    }
    const std::size_t most = static_cast<std::size_t>(kErrorBand.height() / kBandLineHeight);
    if (lines.size() > most)
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(most), lines.end());
    const int top = kStatusBand.bottom - kBandLineHeight * static_cast<int>(lines.size());
    if (top < kStatusBand.top)
        mainWindowObject.paintDc->fillRect(ui::Rect{0, top, kStatusBand.right, kStatusBand.top}, fill);
    for (std::size_t i = 0; i < lines.size(); ++i)
        lf_textOut(3, top + kBandLineHeight * static_cast<int>(i), lines[i], kYellow);
}

} // namespace

void lf_paintStatusWindow(ui::Painter& painter)
{
    auto& o = mainWindowObject;
    o.paintDc = &painter;

    painter.fillRect(kHeaderBand, o.blackBrush);
    painter.fillRect(kStatisticsBand, o.blackBrush);
    painter.fillRect(kControlsBand, o.lightBlueBrush);
    painter.fillRect(kParkAirportBox, o.blackBrush);
    painter.fillRect(kStatusBand, o.greenBrush);

    lf_line(painter, {0, 28}, {880, 28}, o.whitePen);
    lf_line(painter, {0, 113}, {880, 113}, o.whitePen);
    lf_line(painter, {0, 421}, {880, 421}, o.whitePen);
    lf_line(painter, {0, 364}, {880, 364}, o.whitePen);

    lf_textOut(3, 7, fmt::format("Version {}", gf_versionToString(gf_programVersion())), kGreen);
    lf_textOut(390, 7, kProgramName, kGreen);
    lf_textOut(632, 7, kHeaderTagLine, kGreen);

    for (const auto& separator : o.separators)
        lf_line(painter, separator.from, separator.to, o.blackPen);
    lf_line(painter, {642, 140}, {642, 336}, o.blackPen);

    lf_paintStatistics(painter);

    if (o.realTrafficConnected.load()) {
        const int weatherState = o.weatherReaderState.load();
        if (weatherState == 1 || weatherState == 2) {
            const int qnh = o.qnh.load();
            lf_textOut(642, 63, qnh > 0 ? fmt::format("qnh: {:4}", qnh) : std::string(), kGreen);
        }
        const int trafficState = o.trafficReaderState.load();
        if (trafficState == 1 || trafficState == 2)
            lf_textOut(642, 91, fmt::format("live: {:3}", o.liveShown.load()), kGreen);
    }

    lf_paintLabels();
    lf_paintParkAirportBox();

    {
        std::lock_guard lock(o.statusMutex);
        if (!o.errorText.empty()) {
            painter.fillRect(kStatusBand, o.redBrush);
            lf_statusBandText(o.errorBand.empty() ? o.errorText : o.errorBand, o.redBrush);
        } else {
            painter.fillRect(kStatusBand, o.greenBrush);
            lf_statusBandText(o.statusText, o.greenBrush);
        }
    }
    o.paintDc = nullptr;
}

void gf_refreshWindowCounters()
{
    auto& o = mainWindowObject;
    std::uint32_t flying = 0;
    std::int32_t parkedLive = 0;
    for (const auto& aircraft : liveAircraft) {
        if (aircraft.state != AircraftState::InSimulator)
            continue;
        if (aircraft.movementPhase == kParkedPhase)
            ++parkedLive;
        else
            ++flying;
    }
    if (o.liveShown.exchange(flying) != flying)
        gf_invalidateMainWindow(kHeaderAndStatistics);

    // The static aircraft shown, those whose removal was asked for among them;
    // their mean time at the stand is the stand counters' to work out.
    const std::int32_t parkedStatic = gf_countStaticShown(false);
    if (o.parkedLive.load() != parkedLive || o.parkedStatic.load() != parkedStatic) {
        o.parkedLive.store(parkedLive);
        o.parkedStatic.store(parkedStatic);
        gf_invalidateMainWindow(kParkAirportBox);
    }
}
