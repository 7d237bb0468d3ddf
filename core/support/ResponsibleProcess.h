#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace halvex {

// The process the system holds responsible for the helper's activity. The system function that
// answers this exists only on some platforms; where it is missing, current() gives nothing and
// every record leaves the four responsible fields out.
namespace ResponsibleProcess {

struct Info {
    int pid = 0;
    std::string name;
    std::string bundleId;
    bool isSelf = false;

    bool operator==(const Info&) const = default;
};

std::optional<Info> current();

nlohmann::json toJSON(const Info& info);
Info infoFromJSON(const nlohmann::json& json);

// Adds responsibleProcessId, responsibleName, responsibleBundleId and responsibleIsSelf to a record,
// all four or none.
void addResponsibleFields(nlohmann::json& record, const std::optional<Info>& info);

}  // namespace ResponsibleProcess
}  // namespace halvex
