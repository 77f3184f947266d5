#pragma once
// Why a port would not open, in words a user can act on: the group to join
// and the command for it, the program that holds the port, the ports that do
// exist. Looks at the system (file modes, /proc, the port list); never opens
// a port and never prints. Thread: any.

#include <string>
#include <vector>

#include "link/PortHolders.h"
#include "link/SerialLink.h"

namespace q8 {

// The group that may open `device`, empty when the system has none to tell.
std::string DeviceGroup(const std::string& device);

// Whether this user could open the port now, and if not, a short reason in
// English for the CLI's port list ("permission denied (group dialout)",
// "busy (ModemManager, pid 812)"). Never opens it on POSIX.
std::string AccessText(const std::string& device);

// The explanation shown under the open-failure text (Chinese, as the texts
// it follows); empty when there is nothing to add.
std::string ExplainOpenFailure(const OpenResult& error);

// The system's own words for an errno or Win32 error (UTF-8).
std::string SystemErrorText(int systemError);

}  // namespace q8
