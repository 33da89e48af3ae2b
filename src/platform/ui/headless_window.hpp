#pragma once
// The window without a display: it keeps the control model, records every
// paint call, and takes clicks, typing, Enter and the close box from the
// caller (a test, or a run without a display) as if a user had acted.

#include "platform/ui/window.hpp"


namespace ui {

class HeadlessWindow final : public Window {
public:
    HeadlessWindow() = default;
    ~HeadlessWindow() override;

    Rect frame() const override;

    // Injected user actions, any thread; they take effect on the window
    // thread in order with the other messages. A disabled control ignores them.
    void click(ControlId id);
    void typeText(ControlId id, std::string_view utf8);
    void pressKey(ControlId id, char32_t key);
    void pressEnter(ControlId id) { pressKey(id, U'\r'); }
    void clickCloseBox();
    // The user dragged the window there.
    void moveTo(int x, int y);

    // What the last paint drew: first the erase of the background (a
    // fillRect of the whole client area), then the procedure's calls.
    std::vector<PaintCall> lastPaint() const;
    // Every rectangle invalidated since the last call, in order.
    std::vector<Rect> takeInvalidations();
    // The invalid region handed to the last paint.
    Rect lastPaintRegion() const;
    // Blocks until the window thread has handled everything posted before
    // (false on timeout). Not on the window thread.
    bool flush(std::chrono::milliseconds timeout = std::chrono::seconds(5));

protected:
    bool openNative(const WindowSpec& spec) override;
    void showNative() override;
    void nativeControlCreated(const ControlState&) override {}
    void syncControls(const std::vector<ControlState>&) override {}
    void paintNative(const Rect& invalid) override;
    void applyTopmost(bool) override {}

    void invalidated(const Rect& rect) override;

private:

    mutable std::mutex m_recordMutex;
    std::vector<PaintCall> m_lastPaint;
    std::vector<Rect> m_invalidations;
    Rect m_lastPaintRegion;
    bool m_shown = false;
    std::optional<Point> m_movedTo;
};

// Decodes one UTF-8 text into code points; invalid bytes become U+FFFD.
std::u32string decodeUtf8(std::string_view text);
std::string encodeUtf8(char32_t cp);

} // namespace ui
