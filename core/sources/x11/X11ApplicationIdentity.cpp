#include "core/sources/x11/X11ApplicationIdentity.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>
#include <string_view>
#include <utility>

#include "core/support/HalvexIdentity.h"

namespace halvex::x11::X11ApplicationIdentity {
namespace {

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return text;
}

// WM_CLASS values (lower case) of applications the chart and exclusion rules know, with the ids
// those rules use. Keep in step with the table in README.md.
constexpr std::array<std::pair<std::string_view, std::string_view>, 20> wellKnownClasses{{
    {"google-chrome", "com.google.chrome"},
    {"google-chrome-beta", "com.google.chrome"},
    {"google-chrome-unstable", "com.google.chrome.canary"},
    {"chromium", "com.chromium.chromium"},
    {"chromium-browser", "com.chromium.chromium"},
    {"firefox", "org.mozilla.firefox"},
    {"firefox-esr", "org.mozilla.firefox"},
    {"firefox-developer-edition", "org.mozilla.firefoxdeveloperedition"},
    {"firefoxdeveloperedition", "org.mozilla.firefoxdeveloperedition"},
    {"brave-browser", "com.brave.browser"},
    {"microsoft-edge", "com.microsoft.edgemac"},
    {"microsoft-edge-beta", "com.microsoft.edgemac"},
    {"microsoft-edge-dev", "com.microsoft.edgemac"},
    {"opera", "com.operasoftware.opera"},
    {"vivaldi", "com.vivaldi.vivaldi"},
    {"vivaldi-stable", "com.vivaldi.vivaldi"},
    {"tradingview", "com.tradingview.tradingviewapp.desktop"},
    {"halvex", HalvexIdentity::app},
    {"electron", "com.github.Electron"},
    {"brave", "com.brave.browser"},
}};

// Browsers whose installed web apps announce themselves with a "crx_<app id>" instance name.
constexpr std::array<std::string_view, 3> webAppBrowsers{"com.google.chrome", "com.microsoft.edgemac",
                                                         "com.brave.browser"};

std::optional<std::string> lookUp(const std::string& name) {
    const auto lower = lowercased(name);
    for (const auto& [wmClass, identifier] : wellKnownClasses) {
        if (lower == wmClass) return std::string(identifier);
    }
    return std::nullopt;
}

std::string readFile(const std::string& path) {
    std::ifstream file(path);
    if (!file) return {};
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool isApplicationID(const std::string& text) {
    return !text.empty() && text.find('.') != std::string::npos &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                      c == '_' || c == '-';
           });
}

}  // namespace

std::optional<std::string> wellKnownBundleIdentifier(const std::string& instanceName, const std::string& className) {
    auto identifier = lookUp(className);
    if (!identifier) identifier = lookUp(instanceName);
    if (!identifier) return std::nullopt;
    if (instanceName.starts_with("crx_") && instanceName.size() > 4 &&
        std::find(webAppBrowsers.begin(), webAppBrowsers.end(), *identifier) != webAppBrowsers.end()) {
        return *identifier + ".app." + instanceName.substr(4);
    }
    return identifier;
}

std::optional<std::string> flatpakApplicationID(std::int32_t processId) {
    if (processId <= 0) return std::nullopt;
    const std::string process = "/proc/" + std::to_string(processId);
    // The sandbox's metadata file names the application in its [Application] group.
    std::istringstream info(readFile(process + "/root/.flatpak-info"));
    bool inApplication = false;
    for (std::string line; std::getline(info, line);) {
        if (line.starts_with("[")) inApplication = line == "[Application]";
        if (inApplication && line.starts_with("name=")) {
            const auto name = line.substr(5);
            if (isApplicationID(name)) return name;
        }
    }
    // Without access to the sandbox's root, its systemd scope still carries the id:
    // ".../app-flatpak-<id>-<number>.scope".
    const auto cgroup = readFile(process + "/cgroup");
    constexpr std::string_view marker = "app-flatpak-";
    if (const auto start = cgroup.find(marker); start != std::string::npos) {
        const auto begin = start + marker.size();
        const auto end = cgroup.find(".scope", begin);
        if (end != std::string::npos) {
            const auto scope = cgroup.substr(begin, end - begin);
            const auto dash = scope.rfind('-');
            const auto name = dash == std::string::npos ? scope : scope.substr(0, dash);
            if (isApplicationID(name)) return name;
        }
    }
    return std::nullopt;
}

std::optional<std::string> processName(std::int32_t processId) {
    if (processId <= 0) return std::nullopt;
    auto name = readFile("/proc/" + std::to_string(processId) + "/comm");
    while (!name.empty() && (name.back() == '\n' || name.back() == '\0')) name.pop_back();
    if (name.empty()) return std::nullopt;
    return name;
}

std::optional<ShareableApplication> identify(const std::optional<std::int32_t>& processId,
                                             const std::string& instanceName, const std::string& className) {
    const auto command = processId ? processName(*processId) : std::nullopt;
    if (!command && className.empty() && instanceName.empty()) return std::nullopt;
    ShareableApplication application;
    application.processId = command ? processId : std::nullopt;
    if (!className.empty()) {
        application.applicationName = className;
    } else if (command) {
        application.applicationName = *command;
    } else {
        application.applicationName = instanceName;
    }
    if (const auto sandboxed = processId ? flatpakApplicationID(*processId) : std::nullopt) {
        application.bundleIdentifier = *sandboxed;
    } else if (const auto known = wellKnownBundleIdentifier(instanceName, className)) {
        application.bundleIdentifier = *known;
    }
    return application;
}

}  // namespace halvex::x11::X11ApplicationIdentity
