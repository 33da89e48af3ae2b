#pragma once
// A text that one thread writes and others read (the window's state texts,
// the park airport's code): every access copies under the text's own mutex.

#include <mutex>
#include <string>
#include <string_view>

namespace tzo {

class SharedText {
public:
    SharedText() = default;
    explicit SharedText(std::string text) : m_text(std::move(text)) {}
    SharedText(const SharedText&) = delete;
    SharedText& operator=(const SharedText&) = delete;

    std::string get() const
    {
        std::lock_guard lock(m_mutex);
        return m_text;
    }
    void set(std::string_view text)
    {
        std::lock_guard lock(m_mutex);
        m_text.assign(text);
    }
    void clear() { set({}); }
    bool empty() const
    {
        std::lock_guard lock(m_mutex);
        return m_text.empty();
    }

private:
    mutable std::mutex m_mutex;
    std::string m_text;
};

} // namespace tzo
