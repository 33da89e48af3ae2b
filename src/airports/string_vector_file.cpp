#include "airports/airport_services.hpp"

#include "foundation/text_file.hpp"

// Report and result files are read by people while the program may rewrite
// them; going through the atomic writer means a reader never sees half a list.
bool gf_writeStringVectorToFile(const std::vector<std::string>& lines, const std::filesystem::path& path)
{
    return gf_writeLinesToFile(lines, path);
}

bool gf_writeStringVectorToFile(const std::vector<std::string>& lines, const std::filesystem::path& path,
                                std::error_code& error)
{
    return gf_writeLinesToFile(lines, path, error);
}
