#pragma once
// What the main window's painter needs: filled rectangles, lines and polylines
// in a pen colour, and text at a point in a colour. Coordinates are client
// pixels, x right and y down; a text's point is its top-left corner.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

// Right and bottom are exclusive, as in a Win32 RECT.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool empty() const { return right <= left || bottom <= top; }
    bool contains(const Rect& other) const
    {
        return other.left >= left && other.top >= top && other.right <= right && other.bottom <= bottom;
    }
    // The smallest rectangle holding both; an empty one adds nothing.
    Rect united(const Rect& other) const;
    bool operator==(const Rect&) const = default;
};

struct Color {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    bool operator==(const Color&) const = default;
};

inline constexpr Color rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return Color{r, g, b};
}

class Painter {
public:
    virtual ~Painter() = default;
    virtual void fillRect(const Rect& rect, Color color) = 0;
    virtual void line(Point from, Point to, Color pen) = 0;
    virtual void polyline(std::span<const Point> points, Color pen) = 0;
    // text is UTF-8.
    virtual void text(int x, int y, std::string_view text, Color color) = 0;
};

// One call made on a RecordingPainter.
struct PaintCall {
    enum class Kind { fillRect, line, polyline, text };
    Kind kind = Kind::fillRect;
    Rect rect;                 // fillRect
    std::vector<Point> points; // line (two points), polyline; text: its point
    std::string text;          // text
    Color color;
};

// Keeps every call in order; the headless window paints into one.
class RecordingPainter final : public Painter {
public:
    void fillRect(const Rect& rect, Color color) override;
    void line(Point from, Point to, Color pen) override;
    void polyline(std::span<const Point> points, Color pen) override;
    void text(int x, int y, std::string_view text, Color color) override;

    const std::vector<PaintCall>& calls() const { return m_calls; }
    std::vector<PaintCall> takeCalls() { return std::move(m_calls); }

private:
    std::vector<PaintCall> m_calls;
};

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF). The window refuses other text, as the UTF-16
// conversion of Windows would.
bool isValidUtf8(std::string_view text);

} // namespace ui
