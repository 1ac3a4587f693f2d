// nurak-emu: serves virtual devices in a private HID root until told to stop.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/faults.h"
#include "emulator/model.h"
#include "emulator/virtual_hid.h"
#include "platform/trace.h"

namespace {

using namespace nurak::emu;

constexpr int kExitUsage = 2;

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: nurak-emu --root DIR [--model MODEL]... [--latency-ms F] [--fault FAULT]...\n"
                 "                 [--version-bcd HEX] [--trace]\n"
                 "\n"
                 "Serves virtual devices in DIR/sys and DIR/dev (DIR is created when missing).\n"
                 "Prints 'ready' once every node listens; runs until SIGTERM or SIGINT, then\n"
                 "removes what it created and exits 0.\n"
                 "\n"
                 "  --root DIR         the HID root to serve in\n"
                 "  --model MODEL      mouse, mouse3389, keyboard, mousepad or headset; repeat\n"
                 "                     for more devices (default: one mouse)\n"
                 "  --latency-ms F     delay each way: a request is carried out F ms after it\n"
                 "                     arrived, its reply goes out F ms later\n"
                 "  --fault FAULT      inject a fault into every device; repeatable:\n"
                 "%.*s"
                 "  --version-bcd HEX  the devices' bcdDevice (default 0105)\n"
                 "  --trace            diagnostics on stderr\n"
                 "  --help             this text\n"
                 "\n"
                 "When standard input is not a terminal, lines on it are commands:\n"
                 "  plug MODEL             add a device; answers 'plugged INDEX'\n"
                 "  unplug INDEX           unplug device INDEX (0 = first); answers 'unplugged INDEX'\n"
                 "  notify INDEX USAGE     send consumer usage USAGE (hex, e.g. 0401) on the\n"
                 "                         device's notification node; answers 'notified INDEX'\n"
                 "End of input does not stop the program.\n",
                 static_cast<int>(FaultFormsHelp().size()), FaultFormsHelp().data());
}

[[noreturn]] void UsageError(const std::string& message) {
    std::fprintf(stderr, "nurak-emu: %s (see --help)\n", message.c_str());
    std::exit(kExitUsage);
}

struct Arguments {
    std::string root;
    std::vector<Model> models;
    DeviceOptions options;
};

std::optional<unsigned long> ParseHex(std::string_view s, unsigned long maximum) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.remove_prefix(2);
    unsigned long v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 16);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || v > maximum) return std::nullopt;
    return v;
}

std::optional<unsigned long> ParseDecimal(std::string_view s) {
    unsigned long v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 10);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return v;
}

Arguments ParseArguments(int argc, char** argv) {
    Arguments args;
    bool haveRoot = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool inlineValue = false;
        if (arg.rfind("--", 0) == 0) {
            if (size_t eq = arg.find('='); eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg.resize(eq);
                inlineValue = true;
            }
        }
        auto takeValue = [&]() -> std::string {
            if (inlineValue) return value;
            if (i + 1 >= argc) UsageError(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            std::exit(0);
        } else if (arg == "--root") {
            args.root = takeValue();
            if (args.root.empty()) UsageError("--root needs a folder");
            haveRoot = true;
        } else if (arg == "--model") {
            const std::string name = takeValue();
            auto model = ParseModel(name);
            if (!model) UsageError("unknown model '" + name + "'");
            args.models.push_back(*model);
        } else if (arg == "--latency-ms") {
            const std::string text = takeValue();
            char* end = nullptr;
            errno = 0;
            const double ms = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(ms) || ms < 0 || ms > 60000) {
                UsageError("bad latency '" + text + "' (milliseconds, 0-60000)");
            }
            args.options.latencyMs = ms;
        } else if (arg == "--fault") {
            const std::string form = takeValue();
            std::string error;
            auto rule = ParseFaultRule(form, &error);
            if (!rule) UsageError(error);
            args.options.faults.push_back(*rule);
        } else if (arg == "--version-bcd") {
            const std::string text = takeValue();
            auto v = ParseHex(text, 0xFFFF);
            if (!v) UsageError("bad version '" + text + "' (up to four hex digits)");
            args.options.bcdDevice = static_cast<uint16_t>(*v);
        } else if (arg == "--trace") {
            nurak::trace::SetEnabled(true);
        } else {
            UsageError("unknown argument '" + arg + "'");
        }
    }
    if (!haveRoot) UsageError("--root DIR is required");
    if (args.models.empty()) args.models.push_back(Model::Mouse);
    return args;
}

void Say(const std::string& line) {
    // The reader may have gone away (SIGPIPE is ignored); that is no reason to stop.
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

void Describe(VirtualDevice& d) {
    std::string text =
        "nurak-emu: device " + std::to_string(d.index()) + ": " + std::string(ModelName(d.model()));
    for (int iface : d.interfaces()) {
        text += ", interface " + std::to_string(iface) + " " + d.DevNode(iface).string();
    }
    std::fprintf(stderr, "%s\n", text.c_str());
}

void RunCommand(VirtualHidRoot& root, const DeviceOptions& options, const std::string& line) {
    std::istringstream in(line);
    std::string verb, a, b, extra;
    in >> verb >> a >> b >> extra;
    if (verb.empty() || verb[0] == '#') return;
    auto deviceAt = [&](const std::string& text) -> VirtualDevice* {
        auto index = ParseDecimal(text);
        if (!index || *index >= root.deviceCount()) {
            std::fprintf(stderr, "nurak-emu: no device '%s'\n", text.c_str());
            return nullptr;
        }
        return &root.device(*index);
    };
    if (verb == "plug" && !a.empty() && b.empty()) {
        auto model = ParseModel(a);
        if (!model) {
            std::fprintf(stderr, "nurak-emu: unknown model '%s'\n", a.c_str());
            return;
        }
        try {
            VirtualDevice& d = root.Add(*model, options);
            Describe(d);
            Say("plugged " + std::to_string(d.index()));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "nurak-emu: plug failed: %s\n", e.what());
        }
    } else if (verb == "unplug" && !a.empty() && b.empty()) {
        if (VirtualDevice* d = deviceAt(a)) {
            root.Unplug(*d);
            Say("unplugged " + a);
        }
    } else if (verb == "notify" && !b.empty() && extra.empty()) {
        VirtualDevice* d = deviceAt(a);
        auto usage = ParseHex(b, 0xFFFF);
        if (!usage) std::fprintf(stderr, "nurak-emu: bad usage '%s' (hex)\n", b.c_str());
        if (!d || !usage) return;
        if (d->SendConsumerUsage(static_cast<uint16_t>(*usage))) {
            Say("notified " + a);
        } else {
            std::fprintf(stderr, "nurak-emu: device %s has no notification node or is unplugged\n",
                         a.c_str());
        }
    } else {
        std::fprintf(stderr, "nurak-emu: unknown command '%s'\n", line.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    nurak::trace::InitFromEnvironment();
    const Arguments args = ParseArguments(argc, argv);

    // Signals arrive through a descriptor; blocked before any thread starts so
    // that the server thread never takes them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    if (pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr) != 0) {
        std::fprintf(stderr, "nurak-emu: cannot block signals\n");
        return 1;
    }
    ::signal(SIGPIPE, SIG_IGN);
    const int sigFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);
    if (sigFd < 0) {
        std::fprintf(stderr, "nurak-emu: signalfd: %s\n", std::strerror(errno));
        return 1;
    }

    std::optional<VirtualHidRoot> root;
    try {
        root.emplace(args.root);
        for (Model m : args.models) Describe(root->Add(m, args.options));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "nurak-emu: %s\n", e.what());
        return 1;
    }
    Say("ready");

    bool readStdin = ::isatty(STDIN_FILENO) == 0 && ::fcntl(STDIN_FILENO, F_GETFD) >= 0;
    std::string pending;
    for (;;) {
        pollfd fds[2] = {{sigFd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        const int n = ::poll(fds, readStdin ? 2 : 1, -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "nurak-emu: poll: %s\n", std::strerror(errno));
            break;
        }
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info;
            [[maybe_unused]] ssize_t r = ::read(sigFd, &info, sizeof info);
            break;
        }
        if (readStdin && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            char buf[4096];
            const ssize_t got = ::read(STDIN_FILENO, buf, sizeof buf);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                readStdin = false;  // end of input: keep serving
                if (!pending.empty()) RunCommand(*root, args.options, pending);
                pending.clear();
                continue;
            }
            pending.append(buf, static_cast<size_t>(got));
            for (size_t eol; (eol = pending.find('\n')) != std::string::npos;) {
                std::string line = pending.substr(0, eol);
                pending.erase(0, eol + 1);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                RunCommand(*root, args.options, line);
            }
            if (pending.size() > 65536) pending.clear();  // no line that long is a command
        }
    }
    root.reset();
    ::close(sigFd);
    return 0;
}
