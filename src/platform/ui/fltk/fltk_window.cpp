#include "platform/ui/fltk/fltk_window.hpp"

#include "platform/ui/fltk/x_display.hpp"
#include "platform/ui/headless_window.hpp"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <cstdlib>
#include <cstring>

namespace ui {

namespace {

// The system's default control font is about this size; the window has fixed
// pixel positions, so a fixed size keeps texts inside their places.
constexpr int kFontSize = 12;

void lf_setColor(Color color)
{
    fl_color(color.r, color.g, color.b);
}

class FltkPainter final : public Painter {
public:
    void fillRect(const Rect& rect, Color color) override
    {
        if (rect.empty())
            return;
        lf_setColor(color);
        fl_rectf(rect.left, rect.top, rect.width(), rect.height());
    }

    void line(Point from, Point to, Color pen) override
    {
        lf_setColor(pen);
        fl_line_style(FL_SOLID, 1);
        fl_line(from.x, from.y, to.x, to.y);
    }

    void polyline(std::span<const Point> points, Color pen) override
    {
        lf_setColor(pen);
        fl_line_style(FL_SOLID, 1);
        for (size_t i = 1; i < points.size(); ++i)
            fl_line(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y);
    }

    void text(int x, int y, std::string_view text, Color color) override
    {
        if (text.empty())
            return;
        lf_setColor(color);
        fl_font(FL_HELVETICA, kFontSize);
        // The point is the text's top-left corner, as for TextOut; FLTK
        // draws at the baseline.
        fl_draw(text.data(), static_cast<int>(text.size()), x, y + fl_height() - fl_descent());
    }
};

char32_t lf_firstCodePoint(const char* text, int length)
{
    if (!text || length <= 0)
        return 0;
    auto decoded = decodeUtf8(std::string_view(text, static_cast<size_t>(length)));
    return decoded.empty() ? 0 : decoded.front();
}

} // namespace

class FltkWindow::NativeWindow final : public Fl_Double_Window {
public:
    NativeWindow(FltkWindow& owner, int x, int y, int w, int h, const char* title)
        : Fl_Double_Window(x, y, w, h, title), m_owner(owner)
    {
    }
    void drawChildren() { draw_children(); }

protected:
    void draw() override { m_owner.drawClientArea(); }

private:
    FltkWindow& m_owner;
};

class FltkWindow::EditField final : public Fl_Input {
public:
    EditField(FltkWindow& owner, ControlId id, int x, int y, int w, int h)
        : Fl_Input(x, y, w, h), m_owner(owner), m_id(id)
    {
    }

    int handle(int event) override
    {
        // A text a setter gave the field is there before anything is typed
        // into it, or the typing would replace it with the old text.
        if (event == FL_KEYBOARD || event == FL_PASTE)
            m_owner.syncPendingChange(m_id);
        if (event == FL_KEYBOARD) {
            const int key = Fl::event_key();
            char32_t cp = 0;
            if (key == FL_Enter || key == FL_KP_Enter)
                cp = U'\r';
            else if (key == FL_BackSpace)
                cp = U'\b';
            else
                cp = lf_firstCodePoint(Fl::event_text(), Fl::event_length());
            if (cp != 0 && m_owner.onEditKey(m_id, cp))
                return 1;
            // A single-line field does nothing with Enter.
            if (cp == U'\r')
                return 1;
        }
        return Fl_Input::handle(event);
    }

private:
    FltkWindow& m_owner;
    ControlId m_id;
};

FltkWindow::FltkWindow() = default;

FltkWindow::~FltkWindow()
{
    releaseSignals();
    m_opened = false;
    // FLTK's window destroys its X window; on a display that is gone it is
    // left as it is, the process ends soon after.
    if (displayIsGone()) {
        [[maybe_unused]] auto* left = m_window.release();
        m_widgets.clear();
        return;
    }
    if (m_window)
        m_window->hide();
    m_window.reset();
    m_widgets.clear();
}

bool FltkWindow::displayGone()
{
    if (!displayIsGone())
        return false;
    if (!m_goneSaid) {
        m_goneSaid = true;
        m_opened = false;
        post(Message{MessageKind::close, kCloseDisplayGone});
    }
    return true;
}

bool FltkWindow::openNative(const WindowSpec& spec)
{
    // Makes FLTK's lock and wake-up pipe ready; the window thread keeps the
    // lock except while it waits for events.
    Fl::lock();
    // The display was opened by createWindow, once: a second open could fail
    // where the first did not (a loaded virtual display refuses some), and
    // FLTK's own open ends the program when it fails.
    if (!fl_display || displayIsGone())
        return false;
    m_window = std::make_unique<NativeWindow>(*this, spec.x, spec.y, spec.width, spec.height, nullptr);
    m_window->copy_label(spec.title.c_str());
    m_window->size_range(spec.width, spec.height, spec.width, spec.height);
    m_window->color(fl_rgb_color(spec.background.r, spec.background.g, spec.background.b));
    m_window->callback(
        [](Fl_Widget*, void* data) { static_cast<FltkWindow*>(data)->onCloseBox(); }, this);
    m_window->end();
    m_opened = true;
    return true;
}

void FltkWindow::showNative()
{
    if (displayGone())
        return;
    m_window->show();
    Fl::flush();
    invalidateAll();
}

Rect FltkWindow::frame() const
{
    if (!m_window)
        return Rect{spec().x, spec().y, spec().x + spec().width, spec().y + spec().height};
    return Rect{m_window->x(), m_window->y(), m_window->x() + m_window->w(), m_window->y() + m_window->h()};
}

void FltkWindow::nativeControlCreated(const ControlState& state)
{
    const Rect& r = state.rect;
    Fl_Widget* widget = nullptr;
    m_window->begin();
    switch (state.kind) {
    case ControlKind::checkBox: {
        auto* box = new Fl_Check_Button(r.left, r.top, r.width(), r.height());
        box->value(state.checked ? 1 : 0);
        widget = box;
        break;
    }
    case ControlKind::button: {
        auto* button = new Fl_Button(r.left, r.top, r.width(), r.height());
        button->copy_label(state.text.c_str());
        button->labelsize(kFontSize);
        widget = button;
        break;
    }
    case ControlKind::edit: {
        auto* edit = new EditField(*this, state.id, r.left, r.top, r.width(), r.height());
        edit->textsize(kFontSize);
        edit->value(state.text.c_str());
        edit->when(FL_WHEN_CHANGED);
        widget = edit;
        break;
    }
    }
    m_window->end();
    widget->callback([](Fl_Widget* w, void* data) { static_cast<FltkWindow*>(data)->onWidgetCallback(w); }, this);
    if (!state.enabled)
        widget->deactivate();
    m_widgets[state.id] = widget;
}

void FltkWindow::onWidgetCallback(Fl_Widget* widget)
{
    for (const auto& [id, w] : m_widgets) {
        if (w != widget)
            continue;
        auto state = control(id);
        if (!state)
            return;
        switch (state->kind) {
        case ControlKind::checkBox:
            // Win32's plain check box only reports the click; the program
            // sets the mark. FLTK toggled it already, so put it back.
            static_cast<Fl_Check_Button*>(widget)->value(state->checked ? 1 : 0);
            post(Message{MessageKind::command, id});
            break;
        case ControlKind::button:
            post(Message{MessageKind::command, id});
            break;
        case ControlKind::edit:
            onEditChanged(id, static_cast<Fl_Input*>(widget)->value());
            break;
        }
        return;
    }
}

bool FltkWindow::onEditKey(ControlId id, char32_t key)
{
    return runEditProcedure(id, key);
}

void FltkWindow::sendKey(ControlId id, int keySymbol, std::string_view text)
{
    if (displayGone())
        return;
    auto it = m_widgets.find(id);
    if (it == m_widgets.end())
        return;
    std::string buffer(text);
    Fl::focus(it->second);
    Fl::e_keysym = keySymbol;
    Fl::e_text = buffer.data();
    Fl::e_length = static_cast<int>(buffer.size());
    Fl::handle(FL_KEYBOARD, m_window.get());
    Fl::e_text = nullptr;
    Fl::e_length = 0;
}

void FltkWindow::sendClick(ControlId id)
{
    if (displayGone())
        return;
    auto it = m_widgets.find(id);
    if (it == m_widgets.end())
        return;
    Fl_Widget* widget = it->second;
    Fl::e_x = Fl::e_x_root = widget->x() + widget->w() / 2;
    Fl::e_y = Fl::e_y_root = widget->y() + widget->h() / 2;
    Fl::e_keysym = FL_Button + 1;
    Fl::e_is_click = 1;
    Fl::handle(FL_PUSH, m_window.get());
    Fl::handle(FL_RELEASE, m_window.get());
}

void FltkWindow::onEditChanged(ControlId id, const char* value)
{
    storeTypedText(id, value ? value : "");
}

void FltkWindow::onCloseBox()
{
    // FLTK also closes a window on Escape; the program's window only closes
    // through its close box.
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape)
        return;
    post(Message{MessageKind::close, 0});
}

void FltkWindow::syncPendingChange(ControlId id)
{
    if (auto state = takeChange(id))
        syncControls({*state});
}

void FltkWindow::syncControls(const std::vector<ControlState>& changed)
{
    if (displayGone())
        return;
    for (const auto& state : changed) {
        auto it = m_widgets.find(state.id);
        if (it == m_widgets.end())
            continue;
        Fl_Widget* widget = it->second;
        if (state.enabled)
            widget->activate();
        else
            widget->deactivate();
        switch (state.kind) {
        case ControlKind::checkBox:
            static_cast<Fl_Check_Button*>(widget)->value(state.checked ? 1 : 0);
            break;
        case ControlKind::button:
            if (!widget->label() || state.text != widget->label())
                widget->copy_label(state.text.c_str());
            break;
        case ControlKind::edit: {
            auto* edit = static_cast<Fl_Input*>(widget);
            // Leave the field alone while it already holds the text, so that
            // the cursor of someone typing does not jump.
            if (std::strcmp(edit->value(), state.text.c_str()) != 0)
                edit->value(state.text.c_str());
            break;
        }
        }
        widget->redraw();
    }
}

void FltkWindow::drawClientArea()
{
    const auto& s = spec();
    lf_setColor(s.background);
    fl_rectf(0, 0, m_window->w(), m_window->h());
    FltkPainter painter;
    if (auto* proc = procedure())
        proc->onPaint(*this, painter);
    m_window->drawChildren();
    countPaint();
}

void FltkWindow::paintNative(const Rect&)
{
    // The painter draws the whole client area; FLTK double-buffers it, so a
    // whole redraw costs no flicker.
    if (displayGone())
        return;
    m_window->redraw();
    Fl::flush();
}

void FltkWindow::applyTopmost(bool topmost)
{
    if (displayGone() || !m_window || !m_window->shown())
        return;
    // The window manager keeps a window above the others on this request
    // (the extended window manager hints); without one nothing changes.
    ::Display* display = fl_display;
    ::Window xid = fl_xid(m_window.get());
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = xid;
    event.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = topmost ? 1 : 0;
    event.xclient.data.l[1] = static_cast<long>(XInternAtom(display, "_NET_WM_STATE_ABOVE", False));
    event.xclient.data.l[2] = 0;
    event.xclient.data.l[3] = 1;
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XFlush(display);
}

std::optional<RgbImage> FltkWindow::captureNative()
{
    if (displayGone() || !m_window || !m_window->shown())
        return std::nullopt;
    Fl::flush();
    XSync(fl_display, False);
    m_window->make_current();
    const int w = m_window->w();
    const int h = m_window->h();
    uchar* data = fl_read_image(nullptr, 0, 0, w, h);
    if (!data)
        return std::nullopt;
    RgbImage image;
    image.width = w;
    image.height = h;
    image.pixels.assign(data, data + static_cast<size_t>(w) * h * 3);
    delete[] data;
    return image;
}

void FltkWindow::waitForWork()
{
    m_wakePending = false;
    // Without a display the messages still come, as to a headless window:
    // the program's exit runs through them.
    if (displayGone()) {
        Window::waitForWork();
        return;
    }
    // With work waiting, only take the events that are there, so that a
    // flood of messages never starves the user's input and the exposes.
    if (hasWork())
        Fl::check();
    else
        // Fl::awake() from wake() ends the wait at once; the timeout is only
        // a safety net.
        Fl::wait(0.5);
    // A display lost in this wait sends its close at once.
    displayGone();
}

void FltkWindow::wake()
{
    Window::wake();
    if (m_opened && !m_wakePending.exchange(true))
        Fl::awake();
}

std::unique_ptr<Window> createWindow(bool headless, std::string* problem)
{
    const char* name = std::getenv("DISPLAY");
    if (headless || !name || !*name)
        return std::make_unique<HeadlessWindow>();
    // FLTK keeps its display for the whole process: a later window uses it.
    if (!fl_display) {
        ::Display* display = XOpenDisplay(name);
        if (!display) {
            if (problem)
                *problem = std::string("The display ") + name + " cannot be opened";
            return std::make_unique<HeadlessWindow>();
        }
        fl_open_display(display);
        // After FLTK's open, so that these are the ones in place.
        installDisplayHandlers(display);
    }
    return std::make_unique<FltkWindow>();
}

} // namespace ui
