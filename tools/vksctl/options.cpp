#include "options.h"

#include "output.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace vksctl {

bool ParseU32(const std::string& text, uint32_t* value) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long n = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != 0 || n > 0xFFFFFFFFull) return false;
    *value = static_cast<uint32_t>(n);
    return true;
}

bool IsTooLarge(const std::string& text) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long n = std::strtoull(text.c_str(), &end, 0);
    return *end == 0 && (errno == ERANGE || n > 0xFFFFFFFFull);
}

bool ParseSeconds(const std::string& text, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double d = std::strtod(text.c_str(), &end);
    if (*end != 0 || !std::isfinite(d) || d < 0 || d > 1e7) return false;
    *value = d;
    return true;
}

bool Args::Flag(const std::string& name) {
    for (size_t i = 0; i < args_.size(); ++i)
        if (args_[i] == name) {
            args_.erase(args_.begin() + static_cast<long>(i));
            return true;
        }
    return false;
}

std::optional<std::string> Args::Value(const std::string& name) {
    for (size_t i = 0; i < args_.size(); ++i) {
        if (args_[i] == name) {
            if (i + 1 >= args_.size()) {
                SetError(name + " needs a value");
                args_.erase(args_.begin() + static_cast<long>(i));
                return std::nullopt;
            }
            std::string value = args_[i + 1];
            args_.erase(args_.begin() + static_cast<long>(i), args_.begin() + static_cast<long>(i) + 2);
            return value;
        }
        if (args_[i].rfind(name + "=", 0) == 0) {
            std::string value = args_[i].substr(name.size() + 1);
            args_.erase(args_.begin() + static_cast<long>(i));
            return value;
        }
    }
    return std::nullopt;
}

std::vector<std::string> Args::Values(const std::string& name) {
    std::vector<std::string> all;
    while (auto v = Value(name)) all.push_back(*v);
    return all;
}

std::optional<uint32_t> Args::U32(const std::string& name) {
    auto text = Value(name);
    if (!text) return std::nullopt;
    uint32_t value = 0;
    if (!ParseU32(*text, &value)) {
        SetError(IsTooLarge(*text) ? name + " " + *text + " is too large (at most 4294967295)"
                                   : name + " takes a number, not '" + *text + "'");
        return std::nullopt;
    }
    return value;
}

std::optional<double> Args::Seconds(const std::string& name) {
    auto text = Value(name);
    if (!text) return std::nullopt;
    double value = 0;
    if (!ParseSeconds(*text, &value)) {
        double d = 0;
        char* end = nullptr;
        d = std::strtod(text->c_str(), &end);
        SetError(!text->empty() && *end == 0 && d > 1e7 ? name + " " + *text + " is too large (at most 10000000 seconds)"
                                                         : name + " takes a number of seconds, not '" + *text + "'");
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> Args::Positional() {
    for (size_t i = 0; i < args_.size(); ++i) {
        // "-" alone and negative-looking words are not options, but vksctl
        // has no use for them; anything starting with "--" is an option.
        if (args_[i].rfind("--", 0) == 0) continue;
        std::string value = args_[i];
        args_.erase(args_.begin() + static_cast<long>(i));
        return value;
    }
    return std::nullopt;
}

bool Args::Finish() {
    if (!error_.empty()) return false;
    if (!args_.empty()) {
        if (args_[0].rfind("--", 0) == 0)
            SetError("unknown option " + args_[0]);
        else
            SetError("unexpected argument '" + args_[0] + "'");
        return false;
    }
    return true;
}

int ParseGlobalOptions(int argc, char** argv, GlobalOptions* options) {
    int i = 1;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0 && arg != "-h") break;
        auto value = [&](const char* name, std::string* out) {
            const std::string prefix = std::string(name) + "=";
            if (arg == name) {
                if (i + 1 >= argc) {
                    PrintError("", std::string(name) + " needs a value");
                    return false;
                }
                *out = argv[++i];
                return true;
            }
            *out = arg.substr(prefix.size());
            return true;
        };
        auto is = [&](const char* name) { return arg == name || arg.rfind(std::string(name) + "=", 0) == 0; };
        if (arg == "--json") {
            options->json = true;
        } else if (arg == "--version") {
            options->version = true;
        } else if (arg == "--help" || arg == "-h") {
            options->help = true;
        } else if (is("--log-level")) {
            if (!value("--log-level", &options->logLevel)) return -1;
        } else if (is("--registry")) {
            if (!value("--registry", &options->registry)) return -1;
        } else if (is("--sim-config")) {
            if (!value("--sim-config", &options->simConfig)) return -1;
        } else {
            PrintError("", "unknown option " + arg + " (see vksctl --help)");
            return -1;
        }
    }
    return i;
}

}  // namespace vksctl
