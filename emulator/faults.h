#pragma once

// Fault injection for the virtual devices' command replies.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nurak::emu {

enum class FaultKind {
    NoReply,      // the request is carried out, its reply is dropped
    LateReply,    // the reply goes out delayMs later than it would
    StaleEcho,    // first a copy whose echo byte is another command, then the real reply
    StatusFF,     // refused with status 0xFF, nothing changed
    StatusFE,     // refused with status 0xFE, nothing changed
    Garbage,      // carried out, but the reply is 64 pseudo-random bytes after the report id
    UnplugAfter,  // the device unplugs itself once count requests were handled
};

struct FaultRule {
    FaultKind kind = FaultKind::NoReply;
    int command = -1;  // the command code it applies to, -1 for any
    // How many times the rule fires, -1 without limit. For UnplugAfter: the
    // number of handled requests (of the command, or of any) after whose
    // reply the device unplugs; it fires once.
    int count = -1;
    int delayMs = 0;  // LateReply only
};

// Text forms, as nurak-emu takes them (CMD decimal or 0x-hex, or "any"):
//   noreply[:CMD[:COUNT]]     late:MS[:CMD[:COUNT]]    stale[:CMD[:COUNT]]
//   status-ff:CMD[:COUNT]     status-fe:CMD[:COUNT]    garbage[:CMD[:COUNT]]
//   unplug-after:N
// On failure returns nothing and, when error is given, says why.
std::optional<FaultRule> ParseFaultRule(std::string_view text, std::string* error = nullptr);

// The forms above as help text lines.
std::string_view FaultFormsHelp();

}  // namespace nurak::emu
