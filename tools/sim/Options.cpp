#include "vemor/sim/Options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace vemor::sim {

namespace {

bool ParseDouble(const char* text, double lo, double hi, double& out) {
    if (text == nullptr || *text == '\0') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < lo || v > hi) {
        return false;
    }
    out = v;
    return true;
}

bool ParseInteger(const char* text, std::int64_t lo, std::int64_t hi, std::int64_t& out) {
    if (text == nullptr || *text == '\0') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) {
        return false;
    }
    out = v;
    return true;
}

bool ParseSeed(const char* text, std::uint64_t& out) {
    if (text == nullptr || *text == '\0' || *text == '-') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 0);
    if (errno != 0 || *end != '\0') {
        return false;
    }
    out = v;
    return true;
}

} // namespace

bool ParseOptions(std::span<const char* const> args, Options& out, std::string& error) {
    Options o;
    bool cyclesGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i] != nullptr ? args[i] : "";
        if (a == "--help" || a == "-h") {
            o.Help = true;
            continue;
        }
        if (a == "--hold") {
            o.Hold = true;
            continue;
        }
        if (a == "--faults") {
            o.Faults = true;
            continue;
        }
        if (a == "--any-baud") {
            o.AnyBaud = true;
            continue;
        }
        if (a == "--random") {
            o.Random = true;
            continue;
        }
        const bool takesValue = a == "--port" || a == "--speed" || a == "--seed" ||
                                a == "--frames" || a == "--replay" || a == "--unplug-after" ||
                                a == "--replug-after" || a == "--cycles" || a == "--sent" ||
                                a == "--link";
        if (!takesValue) {
            error = "unknown option '" + std::string(a) + "'";
            return false;
        }
        if (i + 1 >= args.size()) {
            error = std::string(a) + " needs a value";
            return false;
        }
        const char* v = args[++i];
        std::int64_t n = 0;
        bool ok = true;
        if (a == "--port") {
            ok = ParseInteger(v, 1, 255, n);
            o.Port = static_cast<int>(n);
        } else if (a == "--speed") {
            ok = ParseDouble(v, 0, 1e6, o.Speed);
        } else if (a == "--seed") {
            ok = ParseSeed(v, o.Seed);
        } else if (a == "--frames") {
            ok = ParseInteger(v, 1, INT64_MAX, o.Frames);
        } else if (a == "--replay") {
            o.Replay = v;
            ok = !o.Replay.empty();
        } else if (a == "--unplug-after") {
            ok = ParseDouble(v, 0.001, 1e7, o.UnplugAfter);
        } else if (a == "--replug-after") {
            ok = ParseDouble(v, 0, 1e7, o.ReplugAfter);
        } else if (a == "--cycles") {
            ok = ParseInteger(v, 0, 1'000'000, n);
            o.Cycles = static_cast<int>(n);
            cyclesGiven = true;
        } else if (a == "--link") {
            o.Link = v;
            ok = !o.Link.empty();
        } else {
            o.Sent = v;
            ok = !o.Sent.empty();
        }
        if (!ok) {
            error = "bad value '" + std::string(v) + "' for " + std::string(a);
            return false;
        }
    }
    if (o.ReplugAfter >= 0 && o.UnplugAfter < 0) {
        error = "--replug-after needs --unplug-after";
        return false;
    }
    if (cyclesGiven && o.ReplugAfter < 0) {
        error = "--cycles needs --unplug-after and --replug-after";
        return false;
    }
    if (!o.Replay.empty() && o.Faults) {
        error = "--faults applies to engine frames, not to --replay";
        return false;
    }
    if (o.Random && (o.Faults || !o.Replay.empty())) {
        error = "--random sends frames of its own; it takes neither --faults nor --replay";
        return false;
    }
    out = o;
    return true;
}

} // namespace vemor::sim
