#include "foundation/app_hooks.hpp"
#include "foundation/encoding.hpp"
#include "foundation/log.hpp"
#include "foundation/text_file.hpp"
#include "platform/outside_file.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

std::string utf16Bytes(const std::u16string& text, bool bigEndian, bool mark)
{
    std::string bytes;
    auto put = [&](char16_t unit) {
        const char hi = static_cast<char>(unit >> 8);
        const char lo = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? hi : lo;
        bytes += bigEndian ? lo : hi;
    };
    if (mark)
        put(0xFEFF);
    for (char16_t unit : text)
        put(unit);
    return bytes;
}

std::string g_lastStatus;
std::mutex g_statusMutex;

void captureStatus(std::string_view text, bool)
{
    std::lock_guard lock(g_statusMutex);
    g_lastStatus = text;
}

struct TextFileTest : ::testing::Test {
    TempDir dir{true};
    ~TextFileTest() override { gf_closeLog(); }

    std::vector<std::string> read(const std::string& bytes)
    {
        writeFile("file.txt", bytes);
        std::vector<std::string> lines;
        EXPECT_TRUE(gf_readExtTextFileToStringVector("file.txt", lines));
        return lines;
    }
};

} // namespace

TEST_F(TextFileTest, everyEncodingGivesTheSameLines)
{
    const std::vector<std::string> expected{"[fltsim.0]", "title=Z\xC3\xBCrich \xE6\x97\xA5 \xF0\x9D\x84\x9E", "",
                                            "atc_id=PH-BXA"};
    for (const char* lineEnd : {"\n", "\r\n"}) {
        for (bool finalLineEnd : {true, false}) {
            std::string utf8;
            for (std::size_t i = 0; i < expected.size(); ++i) {
                utf8 += expected[i];
                if (i + 1 < expected.size() || finalLineEnd)
                    utf8 += lineEnd;
            }
            const std::u16string wide = gf_utf8ToUtf16(utf8);
            SCOPED_TRACE(std::string("line end ") + (lineEnd[0] == '\r' ? "CRLF" : "LF") +
                         (finalLineEnd ? ", final line end" : ", no final line end"));
            EXPECT_EQ(read(utf8), expected) << "UTF-8 without mark";
            EXPECT_EQ(read("\xEF\xBB\xBF" + utf8), expected) << "UTF-8 with mark";
            EXPECT_EQ(read(utf16Bytes(wide, false, true)), expected) << "UTF-16 little-endian";
            EXPECT_EQ(read(utf16Bytes(wide, true, true)), expected) << "UTF-16 big-endian";
        }
    }
}

TEST_F(TextFileTest, encodingIsDetectedFromTheMark)
{
    struct Case {
        std::string bytes;
        int code;
    };
    const std::vector<Case> cases{
        {"\xFF\xFE" "a\0", kEncodingUtf16Le},
        {"\xFE\xFF" "\0a", kEncodingUtf16Be},
        {"\xEF\xBB\xBF" "a", kEncodingUtf8Mark},
        {"\xEF\xBB" "a", kEncodingNoMark},
        {"\xEF\xBB", kEncodingNoMark},
        {"", kEncodingNoMark},
    };
    for (const auto& c : cases) {
        writeFile("file.txt", c.bytes);
        EXPECT_EQ(gf_detectEncoding("file.txt"), c.code) << c.bytes.size() << " bytes";
    }
}

TEST_F(TextFileTest, twoByteLookalikeOfTheUtf8MarkKeepsItsThirdByte)
{
    // EF BB 41 is not a mark; no byte of the text may be lost.
    EXPECT_EQ(read("\xEF\xBB" "ABC\n"), (std::vector<std::string>{"\xEF\xBB" "ABC"}));
    std::vector<std::string> lines;
    ASSERT_TRUE(gf_readEncodedLines(kEncodingUtf8Mark, "file.txt", lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"\xEF\xBB" "ABC"}));
}

TEST_F(TextFileTest, onlyOneTrailingCarriageReturnIsDropped)
{
    EXPECT_EQ(read("a\r\r\nb\rc\n\r\n"), (std::vector<std::string>{"a\r", "b\rc", ""}));
    EXPECT_EQ(read(utf16Bytes(u"a\r\r\nb", false, true)), (std::vector<std::string>{"a\r", "b"}));
}

TEST_F(TextFileTest, loneSurrogateKeepsTheLinesBeforeIt)
{
    gf_installAppHooks(AppHooks{.showStatus = captureStatus});
    gf_openLog();
    std::u16string wide = u"first\r\nsecond\r\nbad ";
    wide += char16_t(0xD800);
    wide += u"\r\nthird\r\n";
    for (bool bigEndian : {false, true}) {
        EXPECT_EQ(read(utf16Bytes(wide, bigEndian, true)), (std::vector<std::string>{"first", "second"}));
        std::lock_guard lock(g_statusMutex);
        EXPECT_EQ(g_lastStatus, "conversion from error from utf16 to utf8, code: 1113");
    }
    gf_closeLog();
    EXPECT_NE(readFile("Log.txt").find("conversion from error from utf16 to utf8, code: 1113 in file.txt"),
              std::string::npos);
    gf_installAppHooks(AppHooks{});
}

TEST_F(TextFileTest, oddLastByteOfUtf16IsIgnored)
{
    EXPECT_EQ(read(utf16Bytes(u"ab\ncd", false, true) + "X"), (std::vector<std::string>{"ab", "cd"}));
    EXPECT_EQ(read("\xFF\xFE" "X"), std::vector<std::string>{});
}

TEST_F(TextFileTest, missingFileIsLoggedWithItsSystemErrorCode)
{
    gf_openLog();
    std::vector<std::string> lines;
    EXPECT_FALSE(gf_readExtTextFileToStringVector("missing.cfg", lines));
    EXPECT_EQ(gf_detectEncoding(dir.path()), kEncodingCannotOpen) << "a folder is no text file";
    gf_closeLog();
    EXPECT_NE(readFile("Log.txt").find("cannot open file missing.cfg for character encoding, err: 2\n"),
              std::string::npos);
    EXPECT_FALSE(gf_readEncodedLines(kEncodingNoMark, "missing.cfg", lines));
}

TEST_F(TextFileTest, whatIsNoSmallRegularFileIsRefusedWithOneLine)
{
    for (const auto kind : testsupport::kOddFiles) {
        SCOPED_TRACE(testsupport::oddFileName(kind));
        testsupport::makeOddFile("aircraft.cfg", kind);
        testsupport::makeOddFile("odd.xml", kind);
        gf_openLog();
        std::vector<std::string> lines;
        EXPECT_FALSE(gf_readExtTextFileToStringVector("aircraft.cfg", lines));
        EXPECT_TRUE(lines.empty());
        pugi::xml_document doc;
        const bool huge = kind == testsupport::OddFile::huge;
        // 4 GiB is above the XML limit too.
        EXPECT_EQ(gf_loadXmlFile(doc, "odd.xml").status, pugi::status_io_error);
        gf_closeLog();
        const std::string refusal = huge ? " is larger than " : " is not a regular file: not read";
        EXPECT_EQ(testsupport::countLinesWith("Log.txt", "aircraft.cfg" + refusal), 1) << readFile("Log.txt");
        EXPECT_EQ(testsupport::countLinesWith("Log.txt", "odd.xml" + refusal), 1) << readFile("Log.txt");
        EXPECT_EQ(testsupport::readLines("Log.txt").size(), 3u) << "the header and one line each";
        fs::remove("Log.txt");
    }
}

// Written to between its size check and its reading (an editor saving, a copy
// under way): read again whole, and refused with a line when it changed again.
TEST_F(TextFileTest, aFileThatChangesWhileReadIsReadAgainOnceThenRefused)
{
    static std::atomic<int> growths{0};
    platform::setOutsideReadHookForTests([](const fs::path& path) {
        if (growths.fetch_sub(1) > 0)
            std::ofstream(path, std::ios::app) << "<!--Key=2-->\n";
    });
    for (const int times : {1, 2}) {
        SCOPED_TRACE(times);
        gf_openLog();
        writeFile("registry.ini", "[Section]\nKey=1\n");
        writeFile("file.xml", "<r k=\"1\"/>\n");
        growths = times;
        std::vector<std::string> lines;
        const bool read = gf_readExtTextFileToStringVector("registry.ini", lines);
        growths = times;
        pugi::xml_document doc;
        const pugi::xml_parse_result loaded = gf_loadXmlFile(doc, "file.xml", pugi::parse_default | pugi::parse_comments);
        gf_closeLog();
        const std::string log = readFile("Log.txt");
        if (times == 1) {
            EXPECT_TRUE(read);
            EXPECT_EQ(lines, (std::vector<std::string>{"[Section]", "Key=1", "<!--Key=2-->"}));
            EXPECT_TRUE(loaded) << loaded.description();
            EXPECT_STREQ(doc.last_child().value(), "Key=2");
            EXPECT_EQ(log.find("changed while"), std::string::npos) << log;
        } else {
            EXPECT_FALSE(read);
            EXPECT_TRUE(lines.empty());
            EXPECT_EQ(loaded.status, pugi::status_io_error);
            EXPECT_EQ(testsupport::countLinesWith("Log.txt", "registry.ini changed while it was read, twice: not read"),
                      1) << log;
            EXPECT_EQ(testsupport::countLinesWith("Log.txt", "file.xml changed while it was read, twice: not read"), 1)
                << log;
        }
        fs::remove("Log.txt");
    }
    platform::setOutsideReadHookForTests(nullptr);
}

TEST_F(TextFileTest, writersReplaceTheFileAndLeaveNoTemporaryFile)
{
    writeFile("out.txt", "old content that is longer\n");
    // A file its owner made private stays so.
    fs::permissions("out.txt", fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(gf_writeStringToFile("new", "out.txt"));
    EXPECT_EQ(readFile("out.txt"), "new\n");
    EXPECT_EQ(fs::status("out.txt").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(gf_writeLinesToFile({"a", "", "b"}, "lines.txt"));
    EXPECT_EQ(readFile("lines.txt"), "a\n\nb\n");
    EXPECT_FALSE(gf_writeStringToFile("x", "no_such_folder/out.txt"));

    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 2);
}

TEST_F(TextFileTest, saveXmlLogsTheOutcome)
{
    gf_openLog();
    pugi::xml_document doc;
    doc.append_child("root").append_attribute("a").set_value("\xC3\xBC");
    EXPECT_TRUE(gf_saveXml(doc, "doc.xml"));
    EXPECT_FALSE(gf_saveXml(doc, "no_such_folder/doc.xml"));
    fs::create_directory("taken.xml");
    EXPECT_FALSE(gf_saveXml(doc, "taken.xml"));
    gf_closeLog();
    EXPECT_NE(readFile("Log.txt").find("could not save to \"no_such_folder/doc.xml\": No such file or directory\n"),
              std::string::npos);
    EXPECT_NE(readFile("Log.txt").find("could not save to \"taken.xml\": a folder has its name\n"), std::string::npos);
    pugi::xml_document back;
    ASSERT_TRUE(back.load_file("doc.xml"));
    EXPECT_STREQ(back.child("root").attribute("a").value(), "\xC3\xBC");
}
