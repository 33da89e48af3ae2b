#include "foundation/text_file.hpp"

#include "foundation/app_hooks.hpp"
#include "foundation/atomic_file.hpp"
#include "foundation/encoding.hpp"
#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "platform/outside_file.hpp"

#include <fmt/format.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Opens for reading; on failure answers null and leaves the system's error
// code in `error`, and in `refusal` the line for a file that is there but
// refused (a FIFO, a device, a file far too large). A folder opens on Linux
// but cannot be read: refused here as Windows refuses it.
FilePtr lf_openForReading(const fs::path& path, int& error, std::string* refusal = nullptr)
{
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        error = EISDIR;
        return nullptr;
    }
    platform::OutsideFileStatus status;
    FilePtr file(platform::openOutsideFileStream(path, kMaxTextFileBytes, status));
    if (!file) {
        error = status.error != 0 ? status.error : EINVAL;
        if (refusal && status.problem != platform::OutsideFileProblem::cannotOpen)
            *refusal = platform::outsideFileRefusal(path, status);
    }
    return file;
}

void lf_dropTrailingCr(std::string& line)
{
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
}

// Lines as std::getline gives them: a last line without a line end counts, an
// empty piece after the last line end does not.
void lf_splitByteLines(std::string_view bytes, std::vector<std::string>& lines)
{
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string line(bytes.substr(start, end - start));
        lf_dropTrailingCr(line);
        lines.push_back(std::move(line));
        start = end + 1;
    }
}

void lf_reportConversionFailure(const std::string& status, const fs::path& path)
{
    gf_showStatus(status);
    gf_logLineMarked(fmt::format("{} in {}", status, path.string()));
}

void lf_readUtf16Lines(std::string_view bytes, bool bigEndian, const fs::path& path,
                       std::vector<std::string>& lines)
{
    std::size_t pos = 0;
    const bool hasMark = bytes.size() >= 2 && ((bigEndian && bytes[0] == '\xFE' && bytes[1] == '\xFF') ||
                                               (!bigEndian && bytes[0] == '\xFF' && bytes[1] == '\xFE'));
    if (hasMark)
        pos = 2;
    // An odd last byte is no character; it is ignored.
    const std::size_t units = (bytes.size() - pos) / 2;
    std::u16string line;
    bool pending = false;
    try {
        for (std::size_t i = 0; i < units; ++i) {
            const auto b0 = static_cast<unsigned char>(bytes[pos + 2 * i]);
            const auto b1 = static_cast<unsigned char>(bytes[pos + 2 * i + 1]);
            const auto unit = static_cast<char16_t>(bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0);
            if (unit == u'\n') {
                if (!line.empty() && line.back() == u'\r')
                    line.pop_back();
                lines.push_back(gf_utf16ToUtf8(line));
                line.clear();
                pending = false;
            } else {
                line.push_back(unit);
                pending = true;
            }
        }
        if (pending) {
            if (!line.empty() && line.back() == u'\r')
                line.pop_back();
            lines.push_back(gf_utf16ToUtf8(line));
        }
    } catch (const win32::Utf8ConversionException& e) {
        lf_reportConversionFailure(fmt::format("conversion from error from utf16 to utf8, code: {}", e.errorCode()),
                                   path);
    } catch (const std::exception& e) {
        lf_reportConversionFailure(std::string("conversion from error from utf16 to utf8: ") + e.what(), path);
    }
}

} // namespace

int gf_detectEncoding(const fs::path& path)
{
    int error = 0;
    std::string refusal;
    FilePtr file = lf_openForReading(path, error, &refusal);
    if (!file) {
        gf_logLine(refusal.empty()
                       ? fmt::format("cannot open file {} for character encoding, err: {}", path.string(), error)
                       : refusal);
        return kEncodingCannotOpen;
    }
    unsigned char mark[3] = {0, 0, 0};
    const std::size_t got = std::fread(mark, 1, sizeof mark, file.get());
    if (got >= 2 && mark[0] == 0xFF && mark[1] == 0xFE)
        return kEncodingUtf16Le;
    if (got >= 2 && mark[0] == 0xFE && mark[1] == 0xFF)
        return kEncodingUtf16Be;
    // All three bytes of the mark: EF BB alone may begin ordinary text.
    if (got == 3 && mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF)
        return kEncodingUtf8Mark;
    return kEncodingNoMark;
}

bool gf_readEncodedLines(int code, const fs::path& path, std::vector<std::string>& lines)
{
    std::error_code ec;
    if (fs::is_directory(path, ec))
        return false;
    std::string bytes;
    const platform::OutsideFileStatus status = platform::readOutsideFile(path, kMaxTextFileBytes, bytes);
    if (!status.ok()) {
        // One that cannot be opened at all was said when its encoding was sought.
        if (status.problem != platform::OutsideFileProblem::cannotOpen)
            gf_logLine(platform::outsideFileRefusal(path, status));
        return false;
    }

    switch (code) {
    case kEncodingUtf16Le:
        lf_readUtf16Lines(bytes, false, path, lines);
        return true;
    case kEncodingUtf16Be:
        lf_readUtf16Lines(bytes, true, path, lines);
        return true;
    case kEncodingUtf8Mark: {
        std::string_view text = bytes;
        if (text.substr(0, 3) == "\xEF\xBB\xBF")
            text.remove_prefix(3);
        lf_splitByteLines(text, lines);
        return true;
    }
    default:
        lf_splitByteLines(bytes, lines);
        return true;
    }
}

bool gf_readExtTextFileToStringVector(const fs::path& path, std::vector<std::string>& lines)
{
    try {
        const int code = gf_detectEncoding(path);
        if (code == kEncodingCannotOpen)
            return false;
        return gf_readEncodedLines(code, path, lines);
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("gf_readExtTextFileToStringVector {}", e.what()));
        return false;
    }
}

pugi::xml_parse_result gf_loadXmlFile(pugi::xml_document& doc, const fs::path& path, unsigned options,
                                      pugi::xml_encoding encoding)
{
    std::string cause;
    return gf_loadXmlFile(doc, path, cause, options, encoding);
}

pugi::xml_parse_result gf_loadXmlFile(pugi::xml_document& doc, const fs::path& path, std::string& cause,
                                      unsigned options, pugi::xml_encoding encoding)
{
    doc.reset();
    cause.clear();
    std::string bytes;
    const platform::OutsideFileStatus status = platform::readOutsideFile(path, kMaxXmlFileBytes, bytes);
    if (!status.ok()) {
        pugi::xml_parse_result failed;
        failed.status = status.missing() ? pugi::status_file_not_found : pugi::status_io_error;
        if (const std::string refusal = platform::outsideFileRefusal(path, status); !refusal.empty()) {
            gf_logLine(refusal);
            cause = platform::outsideFileCause(status);
        } else {
            cause = failed.description();
        }
        return failed;
    }
    const pugi::xml_parse_result loaded = doc.load_buffer(bytes.data(), bytes.size(), options, encoding);
    if (!loaded)
        cause = loaded.description();
    return loaded;
}

bool gf_writeStringToFile(std::string_view text, const fs::path& path)
{
    std::string content(text);
    content += '\n';
    return gf_writeFileAtomically(path, content);
}

bool gf_writeLinesToFile(const std::vector<std::string>& lines, const fs::path& path)
{
    std::error_code error;
    return gf_writeLinesToFile(lines, path, error);
}

bool gf_writeLinesToFile(const std::vector<std::string>& lines, const fs::path& path, std::error_code& error)
{
    std::string content;
    for (const auto& line : lines) {
        content += line;
        content += '\n';
    }
    return gf_writeFileAtomically(path, content, error);
}

std::string gf_saveFailureText(const fs::path& path, const std::error_code& error)
{
    // A folder in the file's place says "Is a directory" at the rename, which
    // hides that the name is taken by a folder.
    std::error_code ec;
    if (fs::is_directory(path, ec))
        return "a folder has its name";
    return error ? error.message() : "the content could not be made";
}

void gf_saySaveFailure(std::string_view lead, const fs::path& path, const std::error_code& error)
{
    gf_logProgressLine(fmt::format("{}\"{}\" not saved: {}", lead, path.string(), gf_saveFailureText(path, error)));
}

std::string gf_xmlText(const pugi::xml_document& doc)
{
    std::ostringstream out;
    doc.save(out, "\t", pugi::format_default, pugi::encoding_utf8);
    return std::move(out).str();
}

bool gf_saveXml(const pugi::xml_document& doc, const fs::path& path)
{
    bool saved = false;
    std::error_code error;
    try {
        saved = gf_writeFileAtomically(path, gf_xmlText(doc), error);
    } catch (const std::exception&) {
        saved = false;
    }
    if (saved)
        gf_logLine(fmt::format("\"{}\" saved", path.string()));
    else
        gf_logProgressLine(
            fmt::format("could not save to \"{}\": {}", path.string(), gf_saveFailureText(path, error)));
    return saved;
}
