#pragma once
// Painting the main window: everything but the controls is drawn here from
// the state of the main window object and a few globals of other subsystems.
// Other threads change that state and invalidate the band that shows it; the
// window thread alone paints.

#include "platform/ui/painter.hpp"

#include <string_view>

namespace tzo {

inline constexpr ui::Color kGreen = ui::rgb(50, 205, 50);
inline constexpr ui::Color kYellow = ui::rgb(255, 255, 0);
inline constexpr ui::Color kRed = ui::rgb(255, 0, 0);
inline constexpr ui::Color kBlack = ui::rgb(0, 0, 0);
inline constexpr ui::Color kWhite = ui::rgb(255, 255, 255);
inline constexpr ui::Color kLightBlue = ui::rgb(153, 204, 255);
inline constexpr ui::Color kGrey = ui::rgb(160, 160, 160);

// The maker's own line at the right of the header.
inline constexpr std::string_view kHeaderTagLine = "live traffic, real stands";

} // namespace tzo

// The body of a paint: the whole client area, in the window's order.
void lf_paintStatusWindow(ui::Painter& painter);

// One text at (x, y) in colour on the paint in progress. A text that is not
// UTF-8 is logged and not drawn.
void lf_textOut(int x, int y, std::string_view text, ui::Color colour);

// Once a second (main loop): the live and parked counters; each band is
// invalidated only when its numbers changed.
void gf_refreshWindowCounters();
