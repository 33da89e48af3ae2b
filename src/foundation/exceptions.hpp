#pragma once
// The program's exception types. Their messages are what the user finally sees
// of a failure, so the texts are fixed.

#include <exception>
#include <stdexcept>
#include <string>
#include <system_error>

namespace tzo {

// A failure to show to the user: "{code}: {text}", or the text alone for code 99.
class UserErrorException : public std::runtime_error {
public:
    UserErrorException(int code, const std::string& text);
    int code() const noexcept { return m_code; }

private:
    int m_code;
};

// A failure of the system: "sys error {code}: {text}".
class SysErrorException : public std::runtime_error {
public:
    SysErrorException(unsigned code, const std::string& text);
    unsigned code() const noexcept { return m_code; }

private:
    unsigned m_code;
};

// The message of a caught exception, "unknown exception" for one that is no
// std::exception.
std::string gf_exceptionText(const std::exception_ptr& error);

} // namespace tzo

namespace win32 {

// A failed UTF-8/UTF-16 conversion. direction: 0 UTF-8 to UTF-16, 1 UTF-16 to UTF-8.
class Utf8ConversionException : public std::runtime_error {
public:
    Utf8ConversionException(const std::string& message, unsigned errorCode, unsigned direction)
        : std::runtime_error(message), m_errorCode(errorCode), m_direction(direction)
    {
    }
    unsigned errorCode() const noexcept { return m_errorCode; }
    unsigned direction() const noexcept { return m_direction; }

    static constexpr unsigned kFromUtf8 = 0;
    static constexpr unsigned kToUtf8 = 1;

private:
    unsigned m_errorCode;
    unsigned m_direction;
};

} // namespace win32

namespace winreg {

class RegException : public std::system_error {
public:
    RegException(unsigned errorCode, const std::string& message)
        : std::system_error(static_cast<int>(errorCode), std::system_category(), message)
    {
    }
};

} // namespace winreg
