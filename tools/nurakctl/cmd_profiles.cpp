// nurakctl profiles: a device's profile list, on the same files the GUI
// uses. Each command sets the list up first, exactly as the profile panel
// does when its device page opens.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "profile/data_places.h"
#include "profile/profile_list.h"
#include "profile_show.h"

namespace nurak::ctl {

namespace {

using profile::ProfileListModel;
using profile::ProfileListResult;

struct DeviceFolder {
    const char* name;
    int kind;  // the device kind the profile panel is given
};

constexpr DeviceFolder kDeviceFolders[] = {
    {"mouse", 2}, {"keyboard", 1}, {"MousePad", 3}, {"HD", 7}, {"mouse3389", 2},
};

const DeviceFolder& FindDeviceFolder(const std::string& name) {
    for (const auto& folder : kDeviceFolders)
        if (name == folder.name) return folder;
    throw UsageError("unknown device folder '" + name + "' (mouse, keyboard, MousePad, HD, mouse3389)");
}

std::string Quoted(const std::string& name) {
    return "'" + name + "'";
}

// A refusal of the model becomes one line on stderr and exit code 1.
void Check(ProfileListResult result, const std::string& what, const ProfileListModel& model) {
    if (result == ProfileListResult::Done) return;
    std::string reason = profile::ProfileListResultText(result);
    if (result == ProfileListResult::WriteFailed) reason += " (in " + model.DeviceDataFolder().string() + ")";
    throw CtlError(what + ": " + reason);
}

std::string SelectedName(const ProfileListModel& model) {
    const int index = model.GetSelectedIndex();
    return index < 0 ? std::string() : model.Names()[static_cast<std::size_t>(index)];
}

void NoArguments(const std::vector<std::string>& words, const std::string& command) {
    if (!words.empty()) throw UsageError("profiles " + command + " takes no arguments");
}

// Taken verbatim, so a name or file may start with '-'.
const std::string& OneArgument(const std::vector<std::string>& words, const std::string& command,
                               const char* what) {
    if (words.size() != 1) throw UsageError("profiles " + command + " needs " + what);
    return words[0];
}

void ListProfiles(const ProfileListModel& model, bool json) {
    const auto& names = model.Names();
    const auto& identities = model.Identities();
    std::string out;
    if (json) {
        out = "{\"profiles\":[";
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (i > 0) out += ",";
            out += "{\"name\":" + JsonString(names[i]) + ",\"uuid\":" + JsonString(identities[i]) + "}";
        }
        out += "],\"selected\":" + std::to_string(model.GetSelectedIndex()) + "}\n";
    } else {
        for (std::size_t i = 0; i < names.size(); ++i) {
            const bool selected = static_cast<int>(i) == model.GetSelectedIndex();
            out += std::to_string(i) + (selected ? " * " : "   ") + names[i] + "  " + identities[i] + "\n";
        }
    }
    std::fputs(out.c_str(), stdout);
}

// A profile command with its arguments checked, before any file is touched.
struct ProfileCommand {
    std::string name;
    std::string argument;  // NAME, FILE or INDEX
    bool json = false;
    int index = 0;
    std::optional<uint32_t> sensorModel;  // show: the mouse's sensor
};

// A sensor model in hexadecimal, with or without 0x: "3389", "0x3360".
uint32_t ParseSensorModel(const std::string& text) {
    std::string digits = text;
    if (digits.starts_with("0x") || digits.starts_with("0X")) digits.erase(0, 2);
    const bool hex = !digits.empty() && digits.size() <= 4 &&
                     digits.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
    if (!hex) throw UsageError("bad sensor model '" + text + "' (hexadecimal, e.g. 3389)");
    return static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
}

ProfileCommand ParseProfileCommand(const std::string& name, const std::vector<std::string>& words) {
    ProfileCommand command{name, {}, false, 0, std::nullopt};
    if (name == "list") {
        OptionReader options(words);
        command.json = options.Flag("--json");
        NoArguments(options.Positionals(), name);
    } else if (name == "add" || name == "copy" || name == "delete" || name == "reset") {
        NoArguments(words, name);
    } else if (name == "rename") {
        command.argument = OneArgument(words, name, "a NAME");
    } else if (name == "import" || name == "export") {
        command.argument = OneArgument(words, name, "a FILE");
    } else if (name == "select") {
        command.argument = OneArgument(words, name, "an INDEX");
        command.index = static_cast<int>(ParseNumber(command.argument, "index", 0x7FFFFFFF));
    } else if (name == "show") {
        OptionReader options(words);
        command.json = options.Flag("--json");
        if (const auto sensor = options.Value("--sensor")) command.sensorModel = ParseSensorModel(*sensor);
        NoArguments(options.Positionals(), name);
    } else {
        throw UsageError("unknown profiles command '" + name + "' (nurakctl --help lists them)");
    }
    return command;
}

void RunProfileCommand(ProfileListModel& model, const ProfileCommand& command, const std::string& folder) {
    const std::string& name = command.name;
    const std::string selected = SelectedName(model);
    if (name == "list") {
        ListProfiles(model, command.json);
    } else if (name == "show") {
        ShowProfile(model, ShowOptions{folder, command.sensorModel, command.json});
    } else if (name == "add") {
        Check(model.AddProfile(), "cannot add a profile", model);
        std::printf("added %s\n", Quoted(model.Names().back()).c_str());
    } else if (name == "copy") {
        Check(model.CopyProfile(), "cannot copy " + Quoted(selected), model);
        std::printf("copied %s to %s\n", Quoted(selected).c_str(), Quoted(model.Names().back()).c_str());
    } else if (name == "delete") {
        Check(model.DeleteProfile(), "cannot delete " + Quoted(selected), model);
        std::printf("deleted %s, selected %s\n", Quoted(selected).c_str(),
                    Quoted(SelectedName(model)).c_str());
    } else if (name == "rename") {
        Check(model.RenameProfile(command.argument),
              "cannot rename " + Quoted(selected) + " to " + Quoted(command.argument), model);
        std::printf("renamed %s to %s\n", Quoted(selected).c_str(), Quoted(command.argument).c_str());
    } else if (name == "import") {
        Check(model.ImportProfile(command.argument), "cannot import " + command.argument, model);
        std::printf("imported %s as %s\n", command.argument.c_str(), Quoted(model.Names().back()).c_str());
    } else if (name == "export") {
        Check(model.ExportProfile(command.argument),
              "cannot export " + Quoted(selected) + " to " + command.argument, model);
        std::printf("exported %s to %s\n", Quoted(selected).c_str(), command.argument.c_str());
    } else if (name == "reset") {
        Check(model.ResetProfile(), "cannot reset " + Quoted(selected), model);
        std::printf("reset %s to the default profile\n", Quoted(selected).c_str());
    } else if (name == "select") {
        const std::string range = " (0.." + std::to_string(model.Names().size() - 1) + ")";
        Check(model.SelectProfile(command.index), "cannot select index " + command.argument + range, model);
        std::printf("selected %s\n", Quoted(SelectedName(model)).c_str());
    }
}

}  // namespace

int RunProfiles(const Args& args) {
    // Options come before the profile command; its own arguments are its own.
    std::vector<std::string> before;
    std::size_t at = 0;
    for (; at < args.words.size(); ++at) {
        const std::string& word = args.words[at];
        if (word == "--folder" || word == "--data-dir") {
            before.push_back(word);
            if (at + 1 < args.words.size()) before.push_back(args.words[++at]);
        } else if (word.starts_with("-")) {
            before.push_back(word);
        } else {
            break;
        }
    }
    OptionReader options(before);
    const std::string folderName = options.Value("--folder").value_or("mouse");
    const auto dataDir = options.Value("--data-dir");
    if (!options.Positionals().empty()) throw UsageError("profiles: options go before the profile command");
    if (at >= args.words.size()) throw UsageError("profiles needs a command (nurakctl --help lists them)");
    const std::string command = args.words[at];
    const std::vector<std::string> rest(args.words.begin() + static_cast<std::ptrdiff_t>(at) + 1,
                                        args.words.end());

    const DeviceFolder& device = FindDeviceFolder(folderName);
    const ProfileCommand parsed = ParseProfileCommand(command, rest);
    if (dataDir) profile::SetShippedDataFolder(*dataDir);

    ProfileListModel model;
    model.SetDeviceKind(device.kind);
    model.SetProfilePaths(profile::DeviceDataFolder(device.name), profile::DefaultProfilePath(device.name));
    Check(model.InitProfileList(), "cannot set up the profile list", model);
    RunProfileCommand(model, parsed, device.name);
    return 0;
}

}  // namespace nurak::ctl
