// nurakctl raw: one framed exchange, for people probing their device.
#include <cstdio>

#include "commands.h"

namespace nurak::ctl {

int RunRaw(const Args& args) {
    OptionReader options(args.words);
    const auto cmd = options.Value("--cmd");
    const auto len = options.Value("--len");
    const auto offset = options.Value("--offset");
    const auto data = options.Value("--data");
    const auto rest = options.Positionals();
    if (!cmd) throw UsageError("raw needs --cmd N");
    if (rest.size() > 1) throw UsageError("raw takes at most one PATH");

    const auto command = static_cast<uint8_t>(ParseNumber(*cmd, "command", 255));
    const std::vector<uint8_t> payload = data ? ParseHexBytes(*data) : std::vector<uint8_t>{};
    if (payload.size() > kMaxChunk) throw UsageError("--data holds at most 56 bytes");
    const auto length = static_cast<uint8_t>(len ? ParseNumber(*len, "length", kMaxChunk) : payload.size());
    const auto at = static_cast<uint16_t>(offset ? ParseNumber(*offset, "offset", 0xFFFF) : 0);
    const std::string path = rest.empty() ? FindMouseCommandPath(args.root) : rest[0];

    DeviceCommandChannel channel(args.root);
    OpenChannel(channel, path);
    CommandReport report(command);
    report.SetChunk(length, at, payload);
    uint8_t reply[kCommandReportSize] = {};
    uint32_t got = 0;
    const int result = channel.Transfer(report.bytes.data(), report.bytes.size(), reply, sizeof reply, &got);
    channel.SetOpened(false);
    channel.device().Close();

    std::printf("request\n%s", FormatReportHex(report.bytes).c_str());
    Check(result, "exchange");
    std::printf("reply\n%s", FormatReportHex(std::span<const uint8_t, kCommandReportSize>(reply, kCommandReportSize)).c_str());
    std::printf("echo %u  status 0x%02x\n", reply[3], reply[7]);
    Check(StatusResult(reply[7]), "device status");
    return 0;
}

}  // namespace nurak::ctl
