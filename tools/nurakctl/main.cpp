// nurakctl: the device link from the command line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "commands.h"
#include "platform/trace.h"
#include "profile/data_places.h"

namespace {

constexpr const char* kUsage =
    "usage: nurakctl [--hid-root DIR] [--data-dir DIR] [--trace] COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  list [--json]                      every HID interface path and the supported ones\n"
    "  info [--json] [PATH]               device information of the first supported mouse (or PATH)\n"
    "  descriptor FILE|PATH [--json]      the top-level collections of a report descriptor\n"
    "  raw [PATH] --cmd N [--len L] [--offset O] [--data HEX]\n"
    "                                     one framed command exchange, request and reply shown\n"
    "  profiles [--folder NAME] [--data-dir DIR] PROFILE-COMMAND\n"
    "                                     the profiles of a device folder (mouse, keyboard, MousePad,\n"
    "                                     HD, mouse3389; default mouse), as the GUI keeps them:\n"
    "    list [--json]                    every profile, the selected one marked\n"
    "    add | copy | delete | reset      a new, copied, deleted or reset (selected) profile\n"
    "    rename NAME                      renames the selected profile\n"
    "    import FILE | export FILE        a profile file from or to FILE\n"
    "    select INDEX                     selects the profile at INDEX (from 0)\n"
    "    show [--sensor HEX] [--json]     the selected profile's settings (mice: the stage array of\n"
    "                                     sensor HEX, default the folder's mouse)\n"
    "\n"
    "options:\n"
    "  --hid-root DIR   use DIR/sys and DIR/dev instead of /sys and /dev (also NURAK_HID_ROOT)\n"
    "  --data-dir DIR   the shipped data folder (holding DefaultData) instead of the installed one\n"
    "  --trace          write the protocol trace to stderr (also NURAK_TRACE=1)\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace nurak;
    using namespace nurak::ctl;
    trace::InitFromEnvironment();
    Args args;
    args.root = CurrentHidRoot();
    std::string command;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string word = argv[i];
            if (command.empty() && (word == "--help" || word == "-h")) {
                std::fputs(kUsage, stdout);
                return 0;
            }
            if (command.empty() && word == "--hid-root") {
                if (++i >= argc) throw UsageError("--hid-root needs a folder");
                args.root = HidRoot::Under(argv[i]);
            } else if (command.empty() && word.starts_with("--hid-root=")) {
                args.root = HidRoot::Under(word.substr(11));
            } else if (command.empty() && word == "--data-dir") {
                if (++i >= argc) throw UsageError("--data-dir needs a folder");
                profile::SetShippedDataFolder(argv[i]);
            } else if (command.empty() && word.starts_with("--data-dir=")) {
                profile::SetShippedDataFolder(word.substr(11));
            } else if (word == "--trace") {
                trace::SetEnabled(true);
            } else if (command.empty()) {
                command = word;
            } else {
                args.words.push_back(word);
            }
        }
        if (command.empty()) throw UsageError("no command given (nurakctl --help lists them)");
        SetCurrentHidRoot(args.root);
        if (command == "list") return RunList(args);
        if (command == "info") return RunInfo(args);
        if (command == "descriptor") return RunDescriptor(args);
        if (command == "raw") return RunRaw(args);
        if (command == "profiles") return RunProfiles(args);
        throw UsageError("unknown command '" + command + "' (nurakctl --help lists them)");
    } catch (const CtlError& e) {
        std::fprintf(stderr, "nurakctl: %s\n", e.what());
        return e.exitCode;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "nurakctl: %s\n", e.what());
        return 1;
    }
}
