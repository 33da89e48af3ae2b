#include "airports/airport_file_paths.hpp"

#include "airports/airport_file.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/strings.hpp"

#include <fmt/format.h>

#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

char lf_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool lf_sameAnyCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lf_lower(a[i]) != lf_lower(b[i]))
            return false;
    return true;
}

// One component of a path looked up in its folder, exact name first.
fs::path lf_entryAnyCase(const fs::path& folder, const fs::path& name)
{
    std::error_code ec;
    const fs::path exact = folder / name;
    if (fs::exists(exact, ec))
        return exact;
    const fs::path where = folder.empty() ? fs::path(".") : folder;
    for (fs::directory_iterator it(where, ec), end; !ec && it != end; it.increment(ec)) {
        if (lf_sameAnyCase(it->path().filename().string(), name.string()))
            return folder / it->path().filename();
    }
    return {};
}

fs::path lf_linkTarget(const fs::path& folder, const std::string& code)
{
    const fs::path link = gf_existingFileAnyCase(folder / (code + ".txt"));
    if (link.empty())
        return {};
    const fs::path target = lf_readLinkFile(link);
    return target.empty() ? fs::path{} : gf_existingFileAnyCase(target);
}

} // namespace

fs::path gf_existingFileAnyCase(const fs::path& path)
{
    fs::path found;
    for (const auto& part : path.lexically_normal()) {
        if (part.empty())
            continue;
        if (part == part.root_name() || part == part.root_directory() || part == "." || part == "..") {
            found /= part;
            continue;
        }
        found = lf_entryAnyCase(found, part);
        if (found.empty())
            return {};
    }
    std::error_code ec;
    return !found.empty() && fs::is_regular_file(found, ec) ? found : fs::path{};
}

fs::path lf_readLinkFile(const fs::path& linkPath)
{
    std::ifstream in(linkPath, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line))
        return {};
    line = std::string(gf_trim(line));
    // Link files are written on Windows: either separator may stand there.
    for (char& c : line)
        if (c == '\\')
            c = '/';
    return fs::path(line);
}

fs::path gf_findApfFile(const std::string& code)
{
    if (code.empty())
        return {};
    for (const fs::path* folder : {&g_myThirdpartyFolder, &g_myOrbxFolder}) {
        if (fs::path target = lf_linkTarget(*folder, code); !target.empty())
            return target;
        if (fs::path file = gf_existingFileAnyCase(*folder / (code + ".xml")); !file.empty())
            return file;
    }
    return gf_existingFileAnyCase(g_archiveStockFolder / (code + ".xml"));
}

bool gf_apfExists(const std::string& code) { return !gf_findApfFile(code).empty(); }

std::string lf_publisherFolderName(const std::string& publisher)
{
    bool fit = !publisher.empty() && publisher != "." && publisher != "..";
    for (const char c : publisher)
        if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            fit = false;
    if (fit)
        return publisher;
    gf_logLineMarked(fmt::format("publisher \"{}\" is no folder name, \"unknown\" used", publisher));
    return "unknown";
}

fs::path lf_learnedFolderForPublisher(const std::string& publisher)
{
    if (publisher == "stock")
        return g_learnedStockFolder;
    if (publisher == "ORBX")
        return g_learnedOrbxFolder;
    return g_learnedThirdpartyFolder / lf_publisherFolderName(publisher);
}

namespace {

fs::path lf_learnedPathByParts(const fs::path& apfPath)
{
    // The parts below the airports folder decide; "archive" elsewhere in the
    // path (the program folder's own name) must not.
    fs::path relative = apfPath.lexically_normal();
    if (relative.is_absolute()) {
        std::error_code ec;
        relative = relative.lexically_relative(fs::current_path(ec).lexically_normal());
    }
    std::vector<fs::path> parts(relative.begin(), relative.end());
    const fs::path fileName = apfPath.filename();
    if (parts.size() >= 3 && lf_sameAnyCase(parts[0].string(), g_airportsFolder.string())) {
        const std::string top = parts[1].string();
        if (lf_sameAnyCase(top, g_archiveFolderName.string()) && parts.size() == 4)
            return g_learnedFolder / parts[2] / fileName;
        if (lf_sameAnyCase(top, "my_ORBX") && parts.size() == 3)
            return g_learnedOrbxFolder / fileName;
        if (lf_sameAnyCase(top, "my_thirdparty") && parts.size() == 3)
            return lf_learnedFolderForPublisher(gf_readPublisher(apfPath)) / fileName;
    }
    return lf_learnedFolderForPublisher(gf_readPublisher(apfPath)) / fileName;
}

} // namespace

fs::path lf_learnedPathFor(const fs::path& apfPath)
{
    fs::path learned = lf_learnedPathByParts(apfPath);
    // A file that lies in the learned tree itself (reached through a link)
    // must never be saved over as its own learned file.
    std::error_code ec;
    if (learned.lexically_normal() == apfPath.lexically_normal() || fs::equivalent(learned, apfPath, ec))
        learned = g_learnedThirdpartyFolder / "unknown" / apfPath.filename();
    return learned;
}
