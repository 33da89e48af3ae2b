#include "platform/ui/window.hpp"

#include "platform/close_signals.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <future>
#include <stdexcept>

namespace ui {

Window::~Window()
{
    releaseSignals();
}

void Window::releaseSignals()
{
    platform::dropCloseSignalReceiver(m_signalToken.exchange(0));
}

void Window::closeOnSignals()
{
    // The signal's number tells this close from the close box's.
    m_signalToken.store(platform::setCloseSignalReceiver(
        [this](int signal) { post(Message{MessageKind::close, signal}); }));
}

bool Window::isWindowThread() const
{
    std::lock_guard lock(m_mutex);
    return m_windowThread == std::this_thread::get_id();
}

void Window::requireWindowThread(const char* what) const
{
    if (!isWindowThread())
        throw std::logic_error(std::string(what) + " must run on the window thread");
}

bool Window::open(const WindowSpec& spec, WindowProcedure& procedure)
{
    {
        std::lock_guard lock(m_mutex);
        m_spec = spec;
        m_procedure = &procedure;
        m_windowThread = std::this_thread::get_id();
    }
    if (!openNative(spec))
        return false;
    dispatch(Message{MessageKind::create, 0});
    bool topmost = false;
    {
        std::lock_guard lock(m_mutex);
        topmost = m_topmost;
        m_topmostChanged = false;
    }
    showNative();
    if (topmost)
        applyTopmost(true);
    return true;
}

void Window::dispatch(const Message& message)
{
    if (m_procedure)
        m_procedure->onMessage(*this, message);
}

bool Window::hasWorkLocked() const
{
    return !m_queue.empty() || !m_changed.empty() || !m_invalid.empty() || m_topmostChanged;
}

bool Window::hasWork() const
{
    std::lock_guard lock(m_mutex);
    return hasWorkLocked();
}

void Window::waitForWork()
{
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [this] { return hasWorkLocked(); });
}

void Window::wake()
{
    m_cv.notify_all();
}

int Window::run()
{
    requireWindowThread("Window::run");
    for (;;) {
        waitForWork();
        // Messages first, in order; painting only when none is waiting, as a
        // paint message comes last in a Win32 queue.
        for (;;) {
            QueueItem item;
            {
                std::lock_guard lock(m_mutex);
                if (m_queue.empty())
                    break;
                item = std::move(m_queue.front());
                m_queue.pop_front();
            }
            if (item.call) {
                item.call();
            } else if (item.message.kind == MessageKind::quit) {
                return item.message.value;
            } else {
                dispatch(item.message);
            }
        }
        std::vector<ControlState> changed;
        Rect invalid;
        bool topmostChanged = false;
        bool topmost = false;
        {
            std::lock_guard lock(m_mutex);
            for (ControlId id : m_changed)
                if (const auto* state = findLocked(id))
                    changed.push_back(*state);
            m_changed.clear();
            invalid = m_invalid;
            m_invalid = Rect{};
            topmostChanged = m_topmostChanged;
            topmost = m_topmost;
            m_topmostChanged = false;
        }
        if (!changed.empty())
            syncControls(changed);
        if (topmostChanged)
            applyTopmost(topmost);
        if (!invalid.empty())
            paintNative(invalid);
    }
}

ControlState* Window::findLocked(ControlId id)
{
    auto it = std::find_if(m_controls.begin(), m_controls.end(), [id](const ControlState& c) { return c.id == id; });
    return it == m_controls.end() ? nullptr : &*it;
}

const ControlState* Window::findLocked(ControlId id) const
{
    auto it = std::find_if(m_controls.begin(), m_controls.end(), [id](const ControlState& c) { return c.id == id; });
    return it == m_controls.end() ? nullptr : &*it;
}

void Window::addControl(ControlState state, EditProcedure procedure)
{
    requireWindowThread("creating a control");
    {
        std::lock_guard lock(m_mutex);
        if (findLocked(state.id))
            throw std::logic_error("control id " + std::to_string(state.id) + " exists already");
        m_controls.push_back(state);
    }
    if (procedure)
        m_editProcedures.emplace_back(state.id, std::move(procedure));
    nativeControlCreated(state);
}

void Window::createCheckBox(ControlId id, const Rect& rect, bool checked)
{
    ControlState state;
    state.id = id;
    state.kind = ControlKind::checkBox;
    state.rect = rect;
    state.checked = checked;
    state.enabled = true;
    addControl(std::move(state), {});
}

void Window::createButton(ControlId id, std::string_view label, const Rect& rect, bool enabled)
{
    ControlState state;
    state.id = id;
    state.kind = ControlKind::button;
    state.rect = rect;
    state.text = std::string(label);
    state.enabled = enabled;
    addControl(std::move(state), {});
}

void Window::createEdit(ControlId id, const Rect& rect, bool enabled, EditProcedure procedure)
{
    ControlState state;
    state.id = id;
    state.kind = ControlKind::edit;
    state.rect = rect;
    state.enabled = enabled;
    addControl(std::move(state), std::move(procedure));
}

std::optional<ControlState> Window::control(ControlId id) const
{
    std::lock_guard lock(m_mutex);
    if (const auto* state = findLocked(id))
        return *state;
    return std::nullopt;
}

std::vector<ControlState> Window::controls() const
{
    std::lock_guard lock(m_mutex);
    return m_controls;
}

void Window::markChangedLocked(ControlId id)
{
    if (std::find(m_changed.begin(), m_changed.end(), id) == m_changed.end())
        m_changed.push_back(id);
}

bool Window::setEnabled(ControlId id, bool enabled)
{
    {
        std::lock_guard lock(m_mutex);
        auto* state = findLocked(id);
        if (!state)
            return false;
        state->enabled = enabled;
        markChangedLocked(id);
    }
    wake();
    return true;
}

bool Window::setChecked(ControlId id, bool checked)
{
    {
        std::lock_guard lock(m_mutex);
        auto* state = findLocked(id);
        if (!state)
            return false;
        state->checked = checked;
        markChangedLocked(id);
    }
    wake();
    return true;
}

bool Window::setText(ControlId id, std::string_view text)
{
    if (!isValidUtf8(text))
        return false;
    {
        std::lock_guard lock(m_mutex);
        auto* state = findLocked(id);
        if (!state)
            return false;
        state->text = std::string(text);
        markChangedLocked(id);
    }
    wake();
    return true;
}

void Window::storeTypedText(ControlId id, std::string text)
{
    std::lock_guard lock(m_mutex);
    if (auto* state = findLocked(id))
        state->text = std::move(text);
}

std::optional<ControlState> Window::takeChange(ControlId id)
{
    std::lock_guard lock(m_mutex);
    auto it = std::find(m_changed.begin(), m_changed.end(), id);
    if (it == m_changed.end())
        return std::nullopt;
    m_changed.erase(it);
    if (const auto* state = findLocked(id))
        return *state;
    return std::nullopt;
}

std::string Window::text(ControlId id) const
{
    std::lock_guard lock(m_mutex);
    const auto* state = findLocked(id);
    return state ? state->text : std::string();
}

bool Window::isChecked(ControlId id) const
{
    std::lock_guard lock(m_mutex);
    const auto* state = findLocked(id);
    return state && state->checked;
}

bool Window::isEnabled(ControlId id) const
{
    std::lock_guard lock(m_mutex);
    const auto* state = findLocked(id);
    return state && state->enabled;
}

bool Window::runEditProcedure(ControlId id, char32_t key)
{
    for (auto& [editId, procedure] : m_editProcedures)
        if (editId == id)
            return procedure && procedure(*this, id, key);
    return false;
}

void Window::post(const Message& message)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(QueueItem{message, {}});
    }
    wake();
}

void Window::postCall(std::function<void()> function)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(QueueItem{Message{}, std::move(function)});
    }
    wake();
}

void Window::invalidate(const Rect& rect)
{
    if (rect.empty())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_invalid = m_invalid.united(rect);
    }
    invalidated(rect);
    wake();
}

void Window::invalidateAll()
{
    invalidate(Rect{0, 0, m_spec.width, m_spec.height});
}

void Window::setTopmost(bool topmost)
{
    {
        std::lock_guard lock(m_mutex);
        m_topmost = topmost;
        m_topmostChanged = true;
    }
    wake();
}

bool Window::isTopmost() const
{
    std::lock_guard lock(m_mutex);
    return m_topmost;
}

std::optional<RgbImage> Window::capture(std::chrono::milliseconds timeout)
{
    if (isWindowThread())
        return captureNative();
    auto promise = std::make_shared<std::promise<std::optional<RgbImage>>>();
    auto future = promise->get_future();
    postCall([this, promise] { promise->set_value(captureNative()); });
    if (future.wait_for(timeout) != std::future_status::ready)
        return std::nullopt;
    return future.get();
}

} // namespace ui
