#pragma once
// Writes RGB pixels as a PNG file, for the screenshots of window tests.

#include <cstdint>
#include <filesystem>
#include <vector>

namespace testsupport {

// Three bytes per pixel, rows top down. False when the file cannot be written.
bool writePng(const std::filesystem::path& path, int width, int height, const std::vector<std::uint8_t>& rgb);

// Where a screenshot named `name` goes: beside the test executable, in the build
// folder, whatever folder the test was started from, so that no screenshot
// lands in the source tree.
std::filesystem::path screenshotPath(const std::filesystem::path& name);

} // namespace testsupport
