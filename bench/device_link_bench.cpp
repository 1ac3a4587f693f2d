// Cost of the device link against a virtual device without added latency.
//
// RawRoundTrip is the baseline: one 64-byte report and its reply over the
// node's socket with nothing of ours in between, so it holds the kernel's and
// the virtual device's share. ChannelTransfer is the same exchange through
// DeviceCommandChannel::Transfer; the difference is what the program adds.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "device/command_channel.h"
#include "emulator/virtual_hid.h"
#include "support/temp_dir.h"

namespace {

using namespace nurak;

struct Rig {
    testing::TempDir dir{"nurak-bench"};
    emu::VirtualHidRoot root{dir.path()};
    emu::VirtualDevice& mouse = root.Add(emu::Model::Mouse);
    std::string commandPath() {
        return mouse.DevNode(1).string() + "?vid_0c45&pid_7643&mi_01&col04";
    }
};

emu::Report BeginRequest() { return emu::MakeRequest(emu::command::kBegin, 0, 0); }

void RawRoundTrip(benchmark::State& state) {
    Rig rig;
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, rig.mouse.DevNode(1).c_str(), sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) throw std::runtime_error("connect");
    const auto request = BeginRequest();
    uint8_t reply[64];
    for (auto _ : state) {
        if (::send(fd, request.data(), request.size(), 0) != 64) state.SkipWithError("send");
        // Wait as the client does: poll, then read, skipping other collections' reports.
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, 1000);
            if (::recv(fd, reply, sizeof reply, 0) <= 0) {
                state.SkipWithError("recv");
                break;
            }
            if (reply[0] == 4 && reply[3] == request[3]) break;
        }
    }
    ::close(fd);
}
BENCHMARK(RawRoundTrip)->UseRealTime()->MinTime(2.0);

void ChannelTransfer(benchmark::State& state) {
    Rig rig;
    DeviceCommandChannel channel(HidRoot::Under(rig.dir.path()));
    if (!channel.device().Open(rig.commandPath(), true, true, true, false)) throw std::runtime_error("open");
    channel.SetOpened(true);
    const auto request = BeginRequest();
    uint8_t reply[64];
    for (auto _ : state) {
        if (channel.Transfer(request.data(), request.size(), reply, sizeof reply, nullptr) != kResultOk)
            state.SkipWithError("transfer");
    }
}
BENCHMARK(ChannelTransfer)->UseRealTime()->MinTime(2.0);

// One listing pass over 20 nodes (10 mice with two interfaces each).
void FindInterfaces20Nodes(benchmark::State& state) {
    testing::TempDir dir{"nurak-bench"};
    emu::VirtualHidRoot root{dir.path()};
    for (int i = 0; i < 10; ++i) root.Add(emu::Model::Mouse);
    HidDevice device(HidRoot::Under(dir.path()));
    for (auto _ : state) {
        if (!device.FindInterfaces() || device.PathCount() != 50) state.SkipWithError("listing");
    }
}
BENCHMARK(FindInterfaces20Nodes)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
