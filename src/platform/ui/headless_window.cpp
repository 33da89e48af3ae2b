#include "platform/ui/headless_window.hpp"

#include <future>
#include <utility>

namespace ui {

namespace {

// Enough for any test to look at; a long run without a reader stays bounded.
constexpr size_t kMaxInvalidations = 4096;

} // namespace

HeadlessWindow::~HeadlessWindow()
{
    releaseSignals();
}

bool HeadlessWindow::openNative(const WindowSpec&)
{
    return true;
}

void HeadlessWindow::showNative()
{
    m_shown = true;
    invalidateAll();
}

Rect HeadlessWindow::frame() const
{
    const auto& s = spec();
    std::lock_guard lock(m_recordMutex);
    const Point origin = m_movedTo.value_or(Point{s.x, s.y});
    return Rect{origin.x, origin.y, origin.x + s.width, origin.y + s.height};
}

void HeadlessWindow::moveTo(int x, int y)
{
    std::lock_guard lock(m_recordMutex);
    m_movedTo = Point{x, y};
}

void HeadlessWindow::paintNative(const Rect& invalid)
{
    RecordingPainter painter;
    painter.fillRect(Rect{0, 0, spec().width, spec().height}, spec().background);
    if (auto* proc = procedure())
        proc->onPaint(*this, painter);
    std::lock_guard lock(m_recordMutex);
    m_lastPaint = painter.takeCalls();
    m_lastPaintRegion = invalid;
    countPaint();
}

void HeadlessWindow::invalidated(const Rect& rect)
{
    std::lock_guard lock(m_recordMutex);
    if (m_invalidations.size() < kMaxInvalidations)
        m_invalidations.push_back(rect);
}

std::vector<PaintCall> HeadlessWindow::lastPaint() const
{
    std::lock_guard lock(m_recordMutex);
    return m_lastPaint;
}

std::vector<Rect> HeadlessWindow::takeInvalidations()
{
    std::lock_guard lock(m_recordMutex);
    return std::exchange(m_invalidations, {});
}

Rect HeadlessWindow::lastPaintRegion() const
{
    std::lock_guard lock(m_recordMutex);
    return m_lastPaintRegion;
}

void HeadlessWindow::click(ControlId id)
{
    postCall([this, id] {
        auto state = control(id);
        if (!state || !state->enabled || state->kind == ControlKind::edit)
            return;
        // Like a plain Win32 check box (not an automatic one), the click only
        // reports; the program sets the check mark itself.
        dispatch(Message{MessageKind::command, id});
    });
}

void HeadlessWindow::pressKey(ControlId id, char32_t key)
{
    postCall([this, id, key] {
        auto state = control(id);
        if (!state || !state->enabled || state->kind != ControlKind::edit)
            return;
        if (runEditProcedure(id, key))
            return;
        // The field's own handling: a single-line edit takes printable
        // characters, deletes on backspace and ignores Enter.
        std::u32string text = decodeUtf8(state->text);
        if (key == U'\b') {
            if (!text.empty())
                text.pop_back();
        } else if (key == U'\r' || key == U'\n' || key < 0x20 || key > 0x10FFFF || (key >= 0xD800 && key <= 0xDFFF)) {
            // Control keys and what is no character at all type nothing; a
            // surrogate would leave bytes that are not UTF-8 in the field.
            return;
        } else {
            text.push_back(key);
        }
        std::string utf8;
        for (char32_t cp : text)
            utf8 += encodeUtf8(cp);
        storeTypedText(id, std::move(utf8));
    });
}

void HeadlessWindow::typeText(ControlId id, std::string_view utf8)
{
    for (char32_t cp : decodeUtf8(utf8))
        pressKey(id, cp);
}

void HeadlessWindow::clickCloseBox()
{
    post(Message{MessageKind::close, 0});
}

bool HeadlessWindow::flush(std::chrono::milliseconds timeout)
{
    auto done = std::make_shared<std::promise<void>>();
    auto future = done->get_future();
    postCall([done] { done->set_value(); });
    return future.wait_for(timeout) == std::future_status::ready;
}

std::u32string decodeUtf8(std::string_view text)
{
    std::u32string out;
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t length = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        if (length == 0 || i + length > text.size() || !isValidUtf8(text.substr(i, length))) {
            out.push_back(U'\uFFFD');
            ++i;
            continue;
        }
        char32_t cp = length == 1 ? c : length == 2 ? (c & 0x1F) : length == 3 ? (c & 0x0F) : (c & 0x07);
        for (size_t k = 1; k < length; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        out.push_back(cp);
        i += length;
    }
    return out;
}

std::string encodeUtf8(char32_t cp)
{
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

} // namespace ui
