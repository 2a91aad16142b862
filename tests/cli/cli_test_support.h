#pragma once

// A scratch directory per test, and files written byte for byte.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

namespace sh::clitest {

inline std::filesystem::path scratchDirectory() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    auto dir =
        std::filesystem::temp_directory_path() / ("sh-cli-" + std::to_string(::getpid()) + "-" +
                                                  info->test_suite_name() + "-" + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline void writeBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

inline std::string readBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace sh::clitest
