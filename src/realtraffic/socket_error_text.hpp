#pragma once
// TEMPORARY until the foundation's socket error texts are merged.
#include <fmt/format.h>
#include <string>
namespace tzo {
inline std::string lf_socketErrorText(int code)
{
    return fmt::format("{} ", code);
}
} // namespace tzo
