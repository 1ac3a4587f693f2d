#pragma once

// What the nurakctl commands share: options, errors, output helpers and
// finding the device to talk to.

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "device/command_channel.h"
#include "device/hid_root.h"

namespace nurak::ctl {

// A failure reported as one line on stderr; exit code 1 (2 for usage errors).
struct CtlError : std::runtime_error {
    explicit CtlError(const std::string& what, int code = 1) : std::runtime_error(what), exitCode(code) {}
    int exitCode;
};

struct UsageError : CtlError {
    explicit UsageError(const std::string& what) : CtlError(what, 2) {}
};

struct Args {
    HidRoot root;
    std::vector<std::string> words;  // the command's own arguments, options included
};

// Option parsing over Args::words.
class OptionReader {
public:
    explicit OptionReader(std::vector<std::string> words) : words_(std::move(words)) {}
    bool Flag(std::string_view name);
    std::optional<std::string> Value(std::string_view name);
    // What is left after the options were taken; refuses unknown options.
    std::vector<std::string> Positionals();

private:
    std::vector<std::string> words_;
};

uint32_t ParseNumber(std::string_view text, std::string_view what, uint32_t max);
std::vector<uint8_t> ParseHexBytes(std::string_view text);
std::string HexBytes(std::span<const uint8_t> bytes);
std::string JsonString(std::string_view text);
std::string Hex4(uint32_t value);

// The command interface of the first supported mouse in the root.
std::string FindMouseCommandPath(const HidRoot& root);

// Opens a channel's device for commands; throws with the reason (naming the
// udev rule when access is denied).
void OpenChannel(DeviceCommandChannel& channel, const std::string& path);

// Throws unless a result is success, with a message for the code.
void Check(int result, std::string_view step);

}  // namespace nurak::ctl
