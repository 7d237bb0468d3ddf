#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/sources/SourcePlatform.h"

namespace halvex::x11 {

// Who owns an X window: the application id and name the catalog lists, from the window's process
// and its WM_CLASS.
namespace X11ApplicationIdentity {

// The reverse-DNS id for a well-known WM_CLASS (instance and class compared ignoring case): the
// browsers, the TradingView desktop app, the product's desktop app and Electron. Chrome, Edge and
// Brave web-app windows ("crx_<id>" instances) get the browser's ".app.<id>" form. Nothing for
// other applications.
std::optional<std::string> wellKnownBundleIdentifier(const std::string& instanceName, const std::string& className);

// The Flatpak application id of a process inside a Flatpak sandbox, read from its /.flatpak-info
// or its cgroup; nothing otherwise or when /proc does not tell.
std::optional<std::string> flatpakApplicationID(std::int32_t processId);

// The process's command name from /proc; nothing when the process is gone.
std::optional<std::string> processName(std::int32_t processId);

// The owner record: the sandbox id or the well-known id (else ""), and the WM_CLASS class name or
// the process name as its name. Nothing when neither a process nor a class is known.
std::optional<ShareableApplication> identify(const std::optional<std::int32_t>& processId,
                                             const std::string& instanceName, const std::string& className);

}  // namespace X11ApplicationIdentity
}  // namespace halvex::x11
