#include "emulator/faults.h"

#include <charconv>
#include <vector>

namespace nurak::emu {

namespace {

std::vector<std::string_view> Split(std::string_view s, char sep) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        size_t pos = s.find(sep, start);
        parts.push_back(
            s.substr(start, pos == std::string_view::npos ? std::string_view::npos : pos - start));
        if (pos == std::string_view::npos) break;
        start = pos + 1;
    }
    return parts;
}

std::optional<long> ParseNumber(std::string_view s, long minimum, long maximum) {
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
        base = 16;
    }
    long value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    if (value < minimum || value > maximum) return std::nullopt;
    return value;
}

bool Fail(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return false;
}

bool ParseCommand(std::string_view s, FaultRule& rule, std::string* error) {
    if (s == "any") {
        rule.command = -1;
        return true;
    }
    auto v = ParseNumber(s, 0, 255);
    if (!v) return Fail(error, "bad command code '" + std::string(s) + "' (0-255 or any)");
    rule.command = static_cast<int>(*v);
    return true;
}

bool ParseCount(std::string_view s, FaultRule& rule, std::string* error) {
    auto v = ParseNumber(s, 1, 1'000'000'000);
    if (!v) return Fail(error, "bad count '" + std::string(s) + "' (a positive number)");
    rule.count = static_cast<int>(*v);
    return true;
}

}  // namespace

std::optional<FaultRule> ParseFaultRule(std::string_view text, std::string* error) {
    const std::vector<std::string_view> parts = Split(text, ':');
    const std::string_view name = parts[0];
    FaultRule rule;
    size_t next = 1;  // index of the optional [CMD[:COUNT]] part
    bool commandRequired = false;

    if (name == "noreply") {
        rule.kind = FaultKind::NoReply;
    } else if (name == "late") {
        rule.kind = FaultKind::LateReply;
        if (parts.size() < 2) {
            Fail(error, "late needs a delay: late:MS[:CMD[:COUNT]]");
            return std::nullopt;
        }
        auto ms = ParseNumber(parts[1], 0, 3'600'000);
        if (!ms) {
            Fail(error, "bad delay '" + std::string(parts[1]) + "' (milliseconds)");
            return std::nullopt;
        }
        rule.delayMs = static_cast<int>(*ms);
        next = 2;
    } else if (name == "stale") {
        rule.kind = FaultKind::StaleEcho;
    } else if (name == "status-ff" || name == "status-fe") {
        rule.kind = name == "status-ff" ? FaultKind::StatusFF : FaultKind::StatusFE;
        commandRequired = true;
    } else if (name == "garbage") {
        rule.kind = FaultKind::Garbage;
    } else if (name == "unplug-after") {
        rule.kind = FaultKind::UnplugAfter;
        if (parts.size() != 2) {
            Fail(error, "unplug-after needs one number: unplug-after:N");
            return std::nullopt;
        }
        auto n = ParseNumber(parts[1], 1, 1'000'000'000);
        if (!n) {
            Fail(error, "bad request count '" + std::string(parts[1]) + "'");
            return std::nullopt;
        }
        rule.count = static_cast<int>(*n);
        return rule;
    } else {
        Fail(error, "unknown fault '" + std::string(name) + "'");
        return std::nullopt;
    }

    if (parts.size() > next + 2) {
        Fail(error, "too many fields in fault '" + std::string(text) + "'");
        return std::nullopt;
    }
    if (parts.size() > next) {
        if (!ParseCommand(parts[next], rule, error)) return std::nullopt;
    } else if (commandRequired) {
        Fail(error, std::string(name) + " needs a command: " + std::string(name) + ":CMD[:COUNT]");
        return std::nullopt;
    }
    if (parts.size() > next + 1 && !ParseCount(parts[next + 1], rule, error)) return std::nullopt;
    return rule;
}

std::string_view FaultFormsHelp() {
    return "  noreply[:CMD[:COUNT]]     carry the request out, send no reply\n"
           "  late:MS[:CMD[:COUNT]]     send the reply MS milliseconds late\n"
           "  stale[:CMD[:COUNT]]       send a reply with a wrong echo first, then the real one\n"
           "  status-ff:CMD[:COUNT]     refuse the command with status 0xFF\n"
           "  status-fe:CMD[:COUNT]     refuse the command with status 0xFE\n"
           "  garbage[:CMD[:COUNT]]     carry the request out, reply with random bytes\n"
           "  unplug-after:N            unplug the device after N handled requests\n"
           "  CMD is a command code (decimal or 0x-hex) or 'any' (the default);\n"
           "  COUNT is how often the fault fires (default: every time).\n";
}

}  // namespace nurak::emu
