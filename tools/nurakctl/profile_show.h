#pragma once

// nurakctl profiles show: the selected profile's sections as the profile
// object of the folder's device kind reads them.

#include <cstdint>
#include <optional>
#include <string>

#include "profile/profile_list.h"

namespace nurak::ctl {

struct ShowOptions {
    std::string folder;                   // device folder: "mouse", "keyboard", ...
    std::optional<uint32_t> sensorModel;  // mice: which stage array to read
    bool json = false;
};

// The sensor the folder's mouse carries, used when none is given.
uint32_t DefaultSensorModel(const std::string& folder);

// Loads the selected profile (creating it from the default when it is
// missing, as the device page does) and prints its sections.
void ShowProfile(const profile::ProfileListModel& model, const ShowOptions& options);

}  // namespace nurak::ctl
