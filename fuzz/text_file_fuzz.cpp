// Any file content, read in every encoding: no crash, and never a line end
// left inside a line.
#include "foundation/text_file.hpp"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string path = "text_file_fuzz." + std::to_string(::getpid()) + ".txt";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    for (int code = kEncodingNoMark; code <= kEncodingUtf8; ++code) {
        std::vector<std::string> lines;
        if (!gf_readEncodedLines(code, path, lines))
            std::abort();
        for (const auto& line : lines)
            if (line.find('\n') != std::string::npos)
                std::abort();
    }
    std::vector<std::string> lines;
    gf_readExtTextFileToStringVector(path, lines);
    return 0;
}
