#include "platform/ui/painter.hpp"

#include <algorithm>

namespace ui {

Rect Rect::united(const Rect& other) const
{
    if (other.empty())
        return *this;
    if (empty())
        return other;
    return Rect{std::min(left, other.left), std::min(top, other.top), std::max(right, other.right),
                std::max(bottom, other.bottom)};
}

void RecordingPainter::fillRect(const Rect& rect, Color color)
{
    PaintCall call;
    call.kind = PaintCall::Kind::fillRect;
    call.rect = rect;
    call.color = color;
    m_calls.push_back(std::move(call));
}

void RecordingPainter::line(Point from, Point to, Color pen)
{
    PaintCall call;
    call.kind = PaintCall::Kind::line;
    call.points = {from, to};
    call.color = pen;
    m_calls.push_back(std::move(call));
}

void RecordingPainter::polyline(std::span<const Point> points, Color pen)
{
    PaintCall call;
    call.kind = PaintCall::Kind::polyline;
    call.points.assign(points.begin(), points.end());
    call.color = pen;
    m_calls.push_back(std::move(call));
}

void RecordingPainter::text(int x, int y, std::string_view text, Color color)
{
    PaintCall call;
    call.kind = PaintCall::Kind::text;
    call.points = {Point{x, y}};
    call.text = std::string(text);
    call.color = color;
    m_calls.push_back(std::move(call));
}

bool isValidUtf8(std::string_view text)
{
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t length = 0;
        char32_t cp = 0;
        char32_t minimum = 0;
        if ((c & 0xE0) == 0xC0) {
            length = 2;
            cp = c & 0x1F;
            minimum = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            cp = c & 0x0F;
            minimum = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            cp = c & 0x07;
            minimum = 0x10000;
        } else {
            return false;
        }
        if (n - i < length)
            return false;
        for (size_t k = 1; k < length; ++k) {
            const auto cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

} // namespace ui
