// Reading what the device log gained since a point in a test.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <handset/log.h>

namespace smeldry::testing {

class LogCursor {
public:
    LogCursor() { skip(); }

    // Forgets what was logged up to now.
    void skip()
    {
        std::error_code ec;
        const auto size = std::filesystem::file_size(handset::deviceLogPath(), ec);
        start_ = ec ? 0 : size;
    }

    // The texts of the lines on `channel` logged since the last skip, in order.
    std::vector<std::string> lines(std::string_view channel) const
    {
        std::ifstream in(handset::deviceLogPath(), std::ios::binary);
        in.seekg(static_cast<std::streamoff>(start_));
        std::vector<std::string> texts;
        const std::string marker = "] " + std::string(channel) + ": ";
        for (std::string line; std::getline(in, line);) {
            const std::size_t at = line.find(marker);
            if (at != std::string::npos)
                texts.push_back(line.substr(at + marker.size()));
        }
        return texts;
    }

private:
    std::uintmax_t start_ = 0;
};

}  // namespace smeldry::testing
