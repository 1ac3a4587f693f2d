// nurakctl info: the device information record of a mouse.
#include <cstdio>

#include "commands.h"

namespace nurak::ctl {

int RunInfo(const Args& args) {
    OptionReader options(args.words);
    const bool json = options.Flag("--json");
    const auto rest = options.Positionals();
    if (rest.size() > 1) throw UsageError("info takes at most one PATH");
    const std::string path = rest.empty() ? FindMouseCommandPath(args.root) : rest[0];

    DeviceCommandChannel channel(args.root);
    OpenChannel(channel, path);
    uint8_t record[DeviceCommandChannel::kDeviceInfoSize] = {};
    Check(channel.Begin(), "begin");
    // The sequence is closed even when the read fails, so the device is not left inside it.
    const int read = channel.ReadDeviceInfo(record);
    const int end = channel.End();
    Check(read, "read device information");
    Check(end, "end");
    channel.SetOpened(false);
    channel.device().Close();

    const unsigned keys = record[5];
    const unsigned memory = record[6] * 128u;
    const unsigned sensor = record[9] | record[10] << 8;
    const unsigned step = record[11];
    const unsigned sliderMax = record[12] | record[13] << 8;
    const unsigned dpiMin = record[14] | record[15] << 8;
    const std::string raw = HexBytes(record);
    if (json) {
        std::printf("{\"path\":%s,\"keys\":%u,\"memory_bytes\":%u,\"sensor\":%u,\"dpi_step\":%u,"
                    "\"slider_max\":%u,\"dpi_min\":%u,\"raw\":\"%s\"}\n",
                    JsonString(path).c_str(), keys, memory, sensor, step, sliderMax, dpiMin, raw.c_str());
    } else {
        std::printf("path          %s\nkeys          %u\nmemory bytes  %u\nsensor        %s\n"
                    "DPI step      %u\nslider max    %u\nDPI minimum   %u\nrecord        %s\n",
                    path.c_str(), keys, memory, Hex4(sensor).c_str(), step, sliderMax, dpiMin, raw.c_str());
    }
    return 0;
}

}  // namespace nurak::ctl
