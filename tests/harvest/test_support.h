#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include <unistd.h>

#include "text/codepage.h"
#include "text/text.h"

namespace sh::harvest::testing {

inline std::filesystem::path dataFile(std::string_view name) {
    return std::filesystem::path(SH_TEST_DATA_DIR) / "harvest" / name;
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A fixture page as the harvest run hands it over: converted from UTF-8 to GBK.
inline sh::text::Text gbkPage(std::string_view name) {
    return sh::text::utf8ToGbk(sh::text::Text(readFile(dataFile(name))));
}

// A fresh directory under the system's temporary directory, removed at the end.
class TempDir {
public:
    TempDir() {
        auto base = std::filesystem::temp_directory_path();
        for (int i = 0;; ++i) {
            m_path = base / ("sh_harvest_" + std::to_string(::getpid()) + "_" + std::to_string(i));
            if (std::filesystem::create_directory(m_path))
                break;
        }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

}  // namespace sh::harvest::testing
