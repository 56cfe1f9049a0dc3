#include "output.h"

#include "status_names.h"

#include <algorithm>
#include <cstdio>

namespace vksctl {

void PrintError(const std::string& command, const std::string& message) {
    if (command.empty())
        std::fprintf(stderr, "vksctl: %s\n", message.c_str());
    else
        std::fprintf(stderr, "vksctl %s: %s\n", command.c_str(), message.c_str());
}

int FailWith(const std::string& command, const std::string& what, VKSERROR status) {
    PrintError(command, what + ": " + StatusText(status));
    return kExitFailure;
}

int UsageError(const std::string& command, const std::string& message) {
    PrintError(command, message + " (see vksctl " + (command.empty() ? "" : command + " ") + "--help)");
    return kExitUsage;
}

void Table::Print() const {
    std::vector<size_t> widths;
    for (const auto& row : rows_)
        for (size_t c = 0; c < row.size(); ++c) {
            if (widths.size() <= c) widths.push_back(0);
            widths[c] = std::max(widths[c], row[c].size());
        }
    for (const auto& row : rows_) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size()) line += std::string(widths[c] - row[c].size() + 2, ' ');
        }
        std::printf("%s\n", line.c_str());
    }
}

std::string Hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string Dotted(uint32_t a) {
    char text[20];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF, a & 0xFF);
    return text;
}

std::string Bytes(uint64_t bytes) {
    char text[32];
    if (bytes < 1024)
        std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
    else if (bytes < 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f KiB", bytes / 1024.0);
    else
        std::snprintf(text, sizeof text, "%.1f MiB", bytes / (1024.0 * 1024.0));
    return text;
}

std::string ProgressText(uint64_t done, uint64_t total, int width) {
    const double fraction = total == 0 ? 1.0 : std::min(1.0, static_cast<double>(done) / static_cast<double>(total));
    const int filled = static_cast<int>(fraction * width + 0.5);
    std::string bar = "[" + std::string(filled, '#') + std::string(width - filled, '-') + "]";
    char text[96];
    std::snprintf(text, sizeof text, " %3d%%  %s of %s", static_cast<int>(fraction * 100 + 0.5), Bytes(done).c_str(),
                  Bytes(total).c_str());
    return bar + text;
}

}  // namespace vksctl
