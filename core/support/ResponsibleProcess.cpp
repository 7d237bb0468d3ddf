#include "core/support/ResponsibleProcess.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace halvex::ResponsibleProcess {
namespace {

using ResponsibleFunction = int (*)(int);

std::string executableNameOf(int pid) {
    std::error_code error;
    const auto path = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
    return error ? std::string() : path.filename().string();
}

}  // namespace

std::optional<Info> current() {
    const int pid = static_cast<int>(::getpid());
    void* scope = ::dlopen(nullptr, RTLD_LAZY);
    if (!scope) return std::nullopt;
    auto* function =
        reinterpret_cast<ResponsibleFunction>(::dlsym(scope, "responsibility_get_pid_responsible_for_pid"));
    if (!function) {
        ::dlclose(scope);
        return std::nullopt;
    }
    const int responsible = function(pid);
    ::dlclose(scope);
    if (responsible <= 0) return std::nullopt;
    // There is no running-application registry here: the name comes from the executable path.
    std::string name = executableNameOf(responsible);
    if (name.empty()) name = "pid " + std::to_string(responsible);
    return Info{responsible, name, "", pid == responsible};
}

nlohmann::json toJSON(const Info& info) {
    return {{"pid", info.pid}, {"name", info.name}, {"bundleId", info.bundleId}, {"isSelf", info.isSelf}};
}

Info infoFromJSON(const nlohmann::json& json) {
    return Info{json.at("pid").get<int>(), json.at("name").get<std::string>(), json.at("bundleId").get<std::string>(),
                json.at("isSelf").get<bool>()};
}

void addResponsibleFields(nlohmann::json& record, const std::optional<Info>& info) {
    if (!info) return;
    record["responsibleProcessId"] = info->pid;
    record["responsibleName"] = info->name;
    record["responsibleBundleId"] = info->bundleId;
    record["responsibleIsSelf"] = info->isSelf;
}

}  // namespace halvex::ResponsibleProcess
