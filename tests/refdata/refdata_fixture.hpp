#pragma once
// Every refdata test starts from empty containers in a fresh program folder
// with its own log.

#include "dbase_file.hpp"
#include "foundation/log.hpp"
#include "refdata/dbase.hpp"
#include "refdata/publishers.hpp"
#include "refdata/similar_models.hpp"
#include "reference_data_reset.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace testsupport {

struct RefdataTest : ::testing::Test {
    TempDir dir{true};

    RefdataTest()
    {
        clearReferenceData();
        gf_openLog(dir / "Log.txt");
    }
    ~RefdataTest() override
    {
        gf_closeLog();
        clearReferenceData();
    }

    // Writes the file to "input/dbase.xml" and reads it the way the start-up does.
    bool read(const DbaseFile& file)
    {
        file.write(dir / "input" / "dbase.xml");
        return gf_readDbase();
    }

    std::string log() const { return readFile(dir / "Log.txt"); }

    // How many log lines contain the text.
    int logLinesWith(const std::string& text) const { return testsupport::countLinesWith(dir / "Log.txt", text); }
};

} // namespace testsupport
