#include "foundation/exceptions.hpp"

#include <fmt/format.h>

namespace tzo {

namespace {

std::string userMessage(int code, const std::string& text)
{
    // 99 marks a text that is complete by itself.
    if (code == 99)
        return text;
    return fmt::format("{}: {}", code, text);
}

} // namespace

UserErrorException::UserErrorException(int code, const std::string& text)
    : std::runtime_error(userMessage(code, text)), m_code(code)
{
}

SysErrorException::SysErrorException(unsigned code, const std::string& text)
    : std::runtime_error(fmt::format("sys error {}: {}", code, text)), m_code(code)
{
}

std::string gf_exceptionText(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

} // namespace tzo
