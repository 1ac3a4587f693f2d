#pragma once

#include "ctl_common.h"

namespace nurak::ctl {

int RunList(const Args& args);
int RunInfo(const Args& args);
int RunDescriptor(const Args& args);
int RunRaw(const Args& args);
int RunProfiles(const Args& args);

}  // namespace nurak::ctl
