#include "refdata/zip_archive.hpp"

#include <zip.h>

#include <vector>

namespace tzo {

namespace {

struct ZipFileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

} // namespace

std::unique_ptr<ZipArchive> ZipArchive::open(const std::filesystem::path& path, int& error)
{
    error = ZIP_ER_OK;
    ::zip* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!archive)
        return nullptr;
    return std::unique_ptr<ZipArchive>(new ZipArchive(archive));
}

std::unique_ptr<ZipArchive> ZipArchive::openMemory(const void* data, std::size_t size, int& error)
{
    error = ZIP_ER_OK;
    zip_error_t zerror;
    zip_error_init(&zerror);
    zip_source_t* source = zip_source_buffer_create(data, size, 0, &zerror);
    if (!source) {
        error = zip_error_code_zip(&zerror);
        zip_error_fini(&zerror);
        return nullptr;
    }
    ::zip* archive = zip_open_from_source(source, ZIP_RDONLY, &zerror);
    if (!archive) {
        error = zip_error_code_zip(&zerror);
        zip_error_fini(&zerror);
        zip_source_free(source); // still ours when the open failed
        return nullptr;
    }
    zip_error_fini(&zerror);
    return std::unique_ptr<ZipArchive>(new ZipArchive(archive));
}

ZipArchive::~ZipArchive()
{
    // Read-only: nothing to write back.
    zip_discard(m_archive);
}

std::vector<ZipEntry> ZipArchive::entries() const
{
    std::vector<ZipEntry> out;
    const zip_int64_t count = zip_get_num_entries(m_archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(m_archive, static_cast<zip_uint64_t>(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME) ||
            !st.name)
            continue;
        ZipEntry entry;
        entry.index = static_cast<std::uint64_t>(i);
        entry.name = st.name;
        entry.size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
        out.push_back(std::move(entry));
    }
    return out;
}

int ZipArchive::read(const ZipEntry& entry, std::size_t chunkSize,
                     const std::function<bool(const char*, std::size_t)>& sink) const
{
    std::unique_ptr<zip_file_t, ZipFileCloser> file(zip_fopen_index(m_archive, entry.index, 0));
    if (!file)
        return zip_error_code_zip(zip_get_error(m_archive));
    std::vector<char> buffer(chunkSize == 0 ? 1 : chunkSize);
    std::uint64_t total = 0;
    for (;;) {
        // libzip compares the CRC when the last byte has been read and then
        // answers -1 with ZIP_ER_CRC.
        const zip_int64_t n = zip_fread(file.get(), buffer.data(), buffer.size());
        if (n < 0)
            return zip_error_code_zip(zip_file_get_error(file.get()));
        if (n == 0)
            break;
        total += static_cast<std::uint64_t>(n);
        // An entry longer than its directory says could fill the disk or the
        // memory its stated size was checked against.
        if (total > entry.size)
            return kZipSizeMismatch;
        if (!sink(buffer.data(), static_cast<std::size_t>(n)))
            return ZIP_ER_WRITE;
    }
    return total == entry.size ? ZIP_ER_OK : kZipSizeMismatch;
}

int ZipArchive::readAll(const ZipEntry& entry, std::string& out, std::uint64_t maxSize) const
{
    out.clear();
    if (entry.size > maxSize)
        return kZipEntryTooLarge;
    out.reserve(static_cast<std::size_t>(entry.size));
    return read(entry, 65536, [&](const char* data, std::size_t n) {
        if (out.size() + n > maxSize)
            return false;
        out.append(data, n);
        return true;
    });
}

std::string gf_zipErrorText(int code)
{
    if (code == kZipSizeMismatch)
        return "the entry's content is not of the size the archive's directory states";
    if (code == kZipEntryTooLarge)
        return "the entry is larger than allowed";
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

} // namespace tzo

bool gf_isSafeEntryName(std::string_view name)
{
    if (name.empty() || name.front() == '/')
        return false;
    if (name.find('\\') != name.npos || name.find(':') != name.npos || name.find('\0') != name.npos)
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t slash = name.find('/', start);
        const std::size_t end = slash == name.npos ? name.size() : slash;
        if (name.substr(start, end - start) == "..")
            return false;
        if (slash == name.npos)
            break;
        start = slash + 1;
    }
    return true;
}
