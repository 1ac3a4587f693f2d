// The nurak-emu program, run as a separate process.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "emu_test_util.h"
#include "emulator/firmware.h"

extern char** environ;

namespace nurak::emu {
namespace {

using namespace nurak::emu::testing;

class EmuProcess {
  public:
    EmuProcess(const std::vector<std::string>& args, bool pipeStdin) {
        int out[2], err[2], in[2] = {-1, -1};
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        if (pipeStdin && ::pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (pipeStdin) {
            posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        } else {
            posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        }
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<std::string> all = {NURAK_EMU_PROGRAM};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = posix_spawn(&pid_, NURAK_EMU_PROGRAM, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        if (pipeStdin) {
            ::close(in[0]);
            stdin_ = Fd(in[1]);
        }
        stdout_ = Fd(out[0]);
        stderr_ = Fd(err[0]);
        if (rc != 0) {
            pid_ = -1;
            throw std::runtime_error("posix_spawn failed");
        }
    }

    ~EmuProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            int status;
            ::waitpid(pid_, &status, 0);
        }
    }

    // One line of standard output, without the line break.
    std::optional<std::string> ReadLine(int timeoutMs = 30000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (size_t eol = outBuffer_.find('\n'); eol != std::string::npos) {
                std::string line = outBuffer_.substr(0, eol);
                outBuffer_.erase(0, eol + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) return std::nullopt;
            pollfd p{stdout_.get(), POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            char buf[512];
            const ssize_t n = ::read(stdout_.get(), buf, sizeof buf);
            if (n <= 0) return std::nullopt;
            outBuffer_.append(buf, static_cast<size_t>(n));
        }
    }

    void Write(const std::string& text) {
        ASSERT_EQ(::write(stdin_.get(), text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    void CloseStdin() { stdin_.Reset(); }
    void Signal(int sig) { ::kill(pid_, sig); }

    // The exit code, or nothing when it did not exit normally in time.
    std::optional<int> Wait(int timeoutMs = 30000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            int status = 0;
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                pid_ = -1;
                if (WIFEXITED(status)) return WEXITSTATUS(status);
                return std::nullopt;
            }
            if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    // Everything left on a stream; call after the process ended.
    static std::string Drain(const Fd& fd) {
        std::string s;
        char buf[1024];
        ssize_t n;
        while ((n = ::read(fd.get(), buf, sizeof buf)) > 0) s.append(buf, static_cast<size_t>(n));
        return s;
    }
    std::string RestOfStdout() { return outBuffer_ + Drain(stdout_); }
    std::string Stderr() { return Drain(stderr_); }

  private:
    pid_t pid_ = -1;
    Fd stdin_, stdout_, stderr_;
    std::string outBuffer_;
};

// The node of an interface whose USB device folder satisfies match.
fs::path FindNode(const fs::path& root, int iface, const std::function<bool(const fs::path&)>& match) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root / "sys/class/hidraw", ec)) {
        const fs::path hid = fs::canonical(entry.path() / "device", ec);
        if (ec) continue;
        char want[8];
        std::snprintf(want, sizeof want, "%02x\n", iface);
        if (ReadText(hid.parent_path() / "bInterfaceNumber") != want) continue;
        if (match(hid.parent_path().parent_path())) return root / "dev" / entry.path().filename();
    }
    return {};
}

Report Ask(const Fd& fd, const Report& request) {
    EXPECT_TRUE(SendBytes(fd, request));
    Received r = RecvMessage(fd);
    Report reply{};
    EXPECT_EQ(r.data.size(), kReportSize);
    if (r.data.size() == kReportSize) std::copy(r.data.begin(), r.data.end(), reply.begin());
    return reply;
}

TEST(NurakEmu, ServesUntilTerminatedThenCleansUp) {
    TempDir temp;
    const fs::path root = temp.path() / "emu";
    EmuProcess emu({"--root", root.string(), "--model", "mouse", "--model", "headset", "--fault",
                    "status-fe:170:1", "--version-bcd", "0203", "--latency-ms", "1"},
                   false);
    ASSERT_EQ(emu.ReadLine(), "ready");

    const fs::path mouse = FindNode(root, 1, [](const fs::path& usb) {
        return ReadText(usb / "idVendor") == "0c45\n" && ReadText(usb / "idProduct") == "7643\n";
    });
    ASSERT_FALSE(mouse.empty());
    Fd c = Connect(mouse);
    ASSERT_TRUE(c.valid());
    Report begin = Ask(c, MakeRequest(command::kBegin, 0, 0));
    EXPECT_EQ(begin[3], command::kBegin);
    EXPECT_EQ(begin[7], kStatusOk);
    EXPECT_TRUE(ChecksumValid(begin));
    EXPECT_EQ(Ask(c, MakeRequest(command::kProbe, 0, 0))[7], kStatusBadChecksum) << "the fault applies";
    EXPECT_EQ(Ask(c, MakeRequest(command::kProbe, 0, 0))[7], kStatusOk) << "once";

    const fs::path headset = FindNode(root, 3, [](const fs::path&) { return true; });
    ASSERT_FALSE(headset.empty());
    EXPECT_EQ(ReadText(fs::canonical(root / "sys/class/hidraw" / headset.filename() / "device") /
                       "../../bcdDevice"),
              "0203\n");
    Fd h = Connect(headset);
    EXPECT_EQ(Ask(h, MakeRequest(command::kBegin, 0, 0))[7], kStatusOk);

    emu.Signal(SIGTERM);
    EXPECT_EQ(emu.Wait(), 0);
    EXPECT_EQ(RecvMessage(c).status, RecvStatus::Eof);
    EXPECT_FALSE(fs::exists(root)) << "it created the root, so it removed it";
}

TEST(NurakEmu, TakesCommandsOnStandardInput) {
    TempDir temp;
    const fs::path root = temp.path() / "r";
    fs::create_directory(root);
    EmuProcess emu({"--root", root.string()}, true);
    ASSERT_EQ(emu.ReadLine(), "ready");
    const fs::path mouseUsb = root / "sys/devices/virtual-usb/usb1/1-1";
    EXPECT_TRUE(fs::exists(mouseUsb / "idProduct")) << "one mouse by default";

    emu.Write("plug keyboard\n");
    EXPECT_EQ(emu.ReadLine(), "plugged 1");
    const fs::path keyboard = FindNode(root, 1, [](const fs::path& usb) {
        return ReadText(usb / "product").find("Keyboard") != std::string::npos;
    });
    ASSERT_FALSE(keyboard.empty());
    Fd k = Connect(keyboard);
    ASSERT_TRUE(k.valid());
    // A command channel that answers shows the connection has been taken.
    EXPECT_EQ(Ask(k, MakeRequest(command::kBegin, 0, 0))[7], kStatusOk);

    emu.Write("notify 1 0512\n");
    EXPECT_EQ(emu.ReadLine(), "notified 1");
    EXPECT_EQ(RecvMessage(k).data, (std::vector<uint8_t>{3, 0x12, 0x05}));
    EXPECT_EQ(RecvMessage(k).data, (std::vector<uint8_t>{3, 0x00, 0x00}));

    emu.Write("frobnicate 3\nunplug 9\nnotify 1 xyz\n");
    emu.Write("unplug 0\n");
    EXPECT_EQ(emu.ReadLine(), "unplugged 0");
    EXPECT_FALSE(fs::exists(mouseUsb));

    // A last line without a break still counts; end of input does not stop it.
    emu.Write("plug mousepad");
    emu.CloseStdin();
    EXPECT_EQ(emu.ReadLine(), "plugged 2");
    EXPECT_EQ(Ask(k, MakeRequest(command::kReadInfo, 34, 0))[8 + 5], 126);

    emu.Signal(SIGINT);
    EXPECT_EQ(emu.Wait(), 0);
    const std::string err = emu.Stderr();
    EXPECT_NE(err.find("frobnicate"), std::string::npos) << err;
    EXPECT_TRUE(fs::exists(root)) << "the root was there before, so it stays";
    EXPECT_TRUE(fs::is_empty(root));
}

TEST(NurakEmu, BadArgumentsExitWithTwoAndOneLine) {
    TempDir temp;
    const std::string root = (temp.path() / "never").string();
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--root"},
        {"--model", "mouse"},
        {"--root", root, "--model", "trackball"},
        {"--root", root, "--fault", "explode"},
        {"--root", root, "--fault", "status-ff"},
        {"--root", root, "--latency-ms", "fast"},
        {"--root", root, "--latency-ms", "-3"},
        {"--root", root, "--version-bcd", "12345"},
        {"--root", root, "--bogus"},
    };
    for (const auto& args : cases) {
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        SCOPED_TRACE(joined);
        EmuProcess emu(args, false);
        EXPECT_EQ(emu.Wait(), 2);
        const std::string err = emu.Stderr();
        EXPECT_FALSE(err.empty());
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(emu.RestOfStdout(), "");
        EXPECT_FALSE(fs::exists(root));
    }
}

TEST(NurakEmu, HelpDescribesTheOptionsAndFaults) {
    EmuProcess emu({"--help"}, false);
    EXPECT_EQ(emu.Wait(), 0);
    const std::string out = emu.RestOfStdout();
    for (const char* text :
         {"--root DIR", "--model", "--latency-ms", "--version-bcd", "noreply[:CMD[:COUNT]]",
          "late:MS[:CMD[:COUNT]]", "stale[:CMD[:COUNT]]", "status-ff:CMD[:COUNT]", "status-fe:CMD[:COUNT]",
          "garbage[:CMD[:COUNT]]", "unplug-after:N", "plug MODEL", "unplug INDEX", "notify INDEX USAGE"}) {
        EXPECT_NE(out.find(text), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace nurak::emu
