#pragma once

#include <atomic>
#include <functional>
#include <string_view>

namespace nurak::trace {

namespace detail {
extern std::atomic<bool> enabled;
}

// Diagnostics go nowhere unless tracing is switched on (NURAK_TRACE=1 or
// --trace); callers test Enabled() before formatting anything costly.
inline bool Enabled() { return detail::enabled.load(std::memory_order_relaxed); }
void SetEnabled(bool on);

// Reads NURAK_TRACE once; programs call it at start-up.
void InitFromEnvironment();

// Writes one diagnostic text as it stands (UTF-8); a line break is added when
// the text has none. Does nothing while tracing is off.
void Write(std::string_view text);

// Replaces the sink (stderr by default); an empty function restores stderr.
// Used by tests to read what was traced.
using Sink = std::function<void(std::string_view)>;
void SetSink(Sink sink);

}  // namespace nurak::trace
