// What vksctl prints for people: one-line errors, tables, a progress bar.
#pragma once

#include "vksacc.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vksctl {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the device or the library refused
constexpr int kExitUsage = 2;    // the command line was wrong

// "vksctl: COMMAND: MESSAGE" on standard error (one line).
void PrintError(const std::string& command, const std::string& message);
// The same with the status's name appended; returns kExitFailure.
int FailWith(const std::string& command, const std::string& what, VKSERROR status);
// Prints a usage error and returns kExitUsage.
int UsageError(const std::string& command, const std::string& message);

// A table with a header row, printed with columns padded to their widest cell.
class Table {
public:
    explicit Table(std::vector<std::string> header) : rows_{std::move(header)} {}
    void Row(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }
    void Print() const;
    size_t Rows() const { return rows_.size() - 1; }

private:
    std::vector<std::vector<std::string>> rows_;
};

std::string Hex32(uint32_t value);
std::string Dotted(uint32_t hostOrderAddress);
// "[#####-----]  42%  1.2 MiB of 3.0 MiB"
std::string ProgressText(uint64_t done, uint64_t total, int width);
std::string Bytes(uint64_t bytes);

}  // namespace vksctl
