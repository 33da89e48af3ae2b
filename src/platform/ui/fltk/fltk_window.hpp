#pragma once
// The window on an X display, drawn with FLTK. Only the window thread touches
// FLTK; other threads change the window's model and wake the FLTK event wait.
// When the display goes away the window sends its close (kCloseDisplayGone)
// and from then on carries its messages as a headless window does, never
// touching FLTK or the display again.

#include "platform/ui/window.hpp"

#include <atomic>
#include <map>
#include <memory>
#include <string>

class Fl_Widget;

namespace ui {

class FltkWindow final : public Window {
public:
    FltkWindow();
    ~FltkWindow() override;

    Rect frame() const override;

    // Deliver a key (an FLTK key symbol and the text it types) or a mouse
    // click to a control as the X server's events would, through FLTK's own
    // event handling; for tests of the toolkit path. Window thread only.
    void sendKey(ControlId id, int keySymbol, std::string_view text);
    void sendClick(ControlId id);

protected:
    bool openNative(const WindowSpec& spec) override;
    void showNative() override;
    void nativeControlCreated(const ControlState& state) override;
    void syncControls(const std::vector<ControlState>& changed) override;
    void paintNative(const Rect& invalid) override;
    void applyTopmost(bool topmost) override;
    std::optional<RgbImage> captureNative() override;
    void waitForWork() override;
    void wake() override;

private:
    class NativeWindow;
    class EditField;
    friend class NativeWindow;
    friend class EditField;

    void drawClientArea();
    void onWidgetCallback(Fl_Widget* widget);
    bool onEditKey(ControlId id, char32_t key);
    void onEditChanged(ControlId id, const char* value);
    void syncPendingChange(ControlId id);
    void onCloseBox();
    // Whether the display went away; the first time it posts the window's
    // close (kCloseDisplayGone). Window thread.
    bool displayGone();

    std::unique_ptr<NativeWindow> m_window;
    std::map<ControlId, Fl_Widget*> m_widgets; // owned by m_window
    std::atomic<bool> m_opened{false};
    // At most one wake-up is on its way to FLTK at a time, so that workers
    // never fill FLTK's wake-up pipe while the window thread is busy.
    std::atomic<bool> m_wakePending{false};
    bool m_goneSaid = false; // window thread only
};

// The FLTK window where $DISPLAY names a display that opens and headless was
// not asked for; the headless window otherwise. The display is opened here,
// once for the process; when $DISPLAY is set but cannot be opened, `problem`
// (when given) says so.
std::unique_ptr<Window> createWindow(bool headless, std::string* problem = nullptr);

} // namespace ui
