#pragma once
// The program's one window: fixed size, a title, a position and stay-on-top,
// child check boxes, push buttons and edit fields addressed by a control id,
// a message queue that every thread may post to, invalidation from any thread
// and painting on the window thread only.
//
// The window keeps the state of its controls (text, check mark, enabled) in
// its own model. Any thread may change that model; the change reaches the
// native control on the window thread later. Nothing called from another
// thread ever waits for the window thread, so a worker never deadlocks with a
// window thread that is busy waiting for that worker.

#include "platform/ui/painter.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace ui {

using ControlId = std::uint16_t;

enum class ControlKind { checkBox, button, edit };

struct ControlState {
    ControlId id = 0;
    ControlKind kind = ControlKind::button;
    Rect rect;
    std::string text; // a button's label, an edit field's text
    bool checked = false;
    bool enabled = true;
};

enum class MessageKind {
    create,  // delivered once, inside open(), before the window is shown
    close,   // the close box (0), a close signal (platform/close_signals.hpp), kCloseDisplayGone
    command, // a click on a check box or button; value = control id
    app1,    // the program's first own message (start the work)
    app2,    // the program's second own message (final close)
    quit,    // ends run(); value = its result
};

struct Message {
    MessageKind kind = MessageKind::close;
    int value = 0;
};

// The value of the close that a window sends when its display went away (the
// X server ended, a remote session closed): the window is gone, nothing more
// is drawn, and the program goes on without it until it has closed.
inline constexpr int kCloseDisplayGone = -1;

class Window;

// The window procedure: everything the window thread tells the program.
class WindowProcedure {
public:
    virtual ~WindowProcedure() = default;
    virtual void onMessage(Window& window, const Message& message) = 0;
    // Paints the whole client area; the backend clips.
    virtual void onPaint(Window& window, Painter& painter) = 0;
};

// The procedure of one edit field, called on the window thread for every key
// typed into it ('\r' for Enter, '\b' for backspace, else the character).
// Answers true when it handled the key; the field then does nothing more with
// it. Otherwise the field's own handling follows.
using EditProcedure = std::function<bool(Window& window, ControlId id, char32_t key)>;

struct WindowSpec {
    std::string title;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    Color background;
};

// Pixels of the client area, three bytes (R, G, B) per pixel, rows top down.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

class Window {
public:
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // --- window thread ----------------------------------------------------
    // Makes the calling thread the window thread, creates the window, delivers
    // the create message (the procedure creates its controls then) and shows
    // it. False when the window cannot be made.
    bool open(const WindowSpec& spec, WindowProcedure& procedure);
    // The message loop: delivers posted messages in order, then paints what
    // was invalidated, until a quit message; answers the quit's value.
    int run();

    // Control creation; window thread only (inside the create message).
    void createCheckBox(ControlId id, const Rect& rect, bool checked);
    void createButton(ControlId id, std::string_view label, const Rect& rect, bool enabled);
    void createEdit(ControlId id, const Rect& rect, bool enabled, EditProcedure procedure);

    // --- any thread -------------------------------------------------------
    std::optional<ControlState> control(ControlId id) const;
    std::vector<ControlState> controls() const; // in creation order

    // Each answers false (and changes nothing) when there is no such control.
    bool setEnabled(ControlId id, bool enabled);
    bool setChecked(ControlId id, bool checked);
    // Also false for text that is not valid UTF-8.
    bool setText(ControlId id, std::string_view text);
    std::string text(ControlId id) const;
    bool isChecked(ControlId id) const;
    bool isEnabled(ControlId id) const;

    void post(const Message& message);
    void postQuit(int code) { post(Message{MessageKind::quit, code}); }
    // Runs the function on the window thread, after what was posted before.
    void postCall(std::function<void()> function);
    // Marks a part of the client area for the next paint; never paints here.
    void invalidate(const Rect& rect);
    void invalidateAll();

    void setTopmost(bool topmost);
    bool isTopmost() const;
    // The window's position and size on the screen; ask on the window thread.
    virtual Rect frame() const = 0;
    const WindowSpec& spec() const { return m_spec; }

    bool isWindowThread() const;
    // Sends a close message when the process receives a close signal
    // (platform/close_signals.hpp), its value the signal's number (a close
    // box's close carries 0), first for those held before; once the window
    // is gone they are held again, or do what they did before.
    void closeOnSignals();

    // The client area as pixels, taken on the window thread (waits up to the
    // timeout for it when called from another thread). Empty when the backend
    // has no pixels.
    std::optional<RgbImage> capture(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // How many paints the window has done.
    std::uint64_t paintCount() const { return m_paintCount.load(); }

protected:
    Window() = default;
    // Stops the signal close reaching this window. Every backend calls it
    // first in its destructor, while its own part still exists.
    void releaseSignals();

    // Backend hooks, all on the window thread unless said otherwise.
    virtual bool openNative(const WindowSpec& spec) = 0;
    virtual void showNative() = 0;
    virtual void nativeControlCreated(const ControlState& state) = 0;
    // The model of these controls changed (from any thread) since last time.
    virtual void syncControls(const std::vector<ControlState>& changed) = 0;
    virtual void paintNative(const Rect& invalid) = 0;
    virtual void applyTopmost(bool topmost) = 0;
    virtual std::optional<RgbImage> captureNative() { return std::nullopt; }
    // Waits until wake() or until there is work; the headless backend waits on
    // the queue's condition, a toolkit backend in its event wait.
    virtual void waitForWork();
    // Any thread: the window thread should look at its queue.
    virtual void wake();
    // Any thread, after a rectangle was added to the invalid region.
    virtual void invalidated(const Rect&) {}

    // For backends: the key handling of an edit field, window thread. Runs the
    // field's procedure; true when it handled the key.
    bool runEditProcedure(ControlId id, char32_t key);
    // For backends: the user changed a field's text or a window thread event
    // needs the model updated without a sync back to the native control.
    void storeTypedText(ControlId id, std::string text);
    // For backends: the control's model when it changed since the last sync,
    // taken out of the next sync; the backend brings it into the native
    // control itself (before a key is typed into a field, say).
    std::optional<ControlState> takeChange(ControlId id);
    WindowProcedure* procedure() const { return m_procedure; }
    void dispatch(const Message& message);
    void countPaint() { ++m_paintCount; }
    bool hasWork() const;

    mutable std::mutex m_mutex; // guards the model, the queue and the invalid region
    std::condition_variable m_cv;

private:
    struct QueueItem {
        Message message;
        std::function<void()> call;
    };

    ControlState* findLocked(ControlId id);
    const ControlState* findLocked(ControlId id) const;
    void addControl(ControlState state, EditProcedure procedure);
    void markChangedLocked(ControlId id);
    bool hasWorkLocked() const;
    void requireWindowThread(const char* what) const;

    WindowSpec m_spec;
    WindowProcedure* m_procedure = nullptr;
    std::thread::id m_windowThread;
    std::vector<ControlState> m_controls;
    std::vector<std::pair<ControlId, EditProcedure>> m_editProcedures; // window thread only
    std::vector<ControlId> m_changed;
    std::deque<QueueItem> m_queue;
    Rect m_invalid;
    bool m_topmost = false;
    bool m_topmostChanged = false;
    std::atomic<std::uint64_t> m_paintCount{0};
    std::atomic<std::uint64_t> m_signalToken{0};
};

} // namespace ui
