#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <qcoro/qcorotask.h>

#include "core/Uuid.h"

namespace vael {

class AppModel;

// A request to create or rename a project or a group, presented as one small name sheet.
struct StructureSheet {
    enum class Kind { renameProject, renameGroup, newGroup, newProject };

    Kind kind = Kind::newProject;
    Uuid target;                  // the project or group renamed, or the project a new group goes into
    std::optional<Uuid> parent;   // newGroup only: the group it goes below, none for the top level
    std::string current;          // renames only: the name as shown

    static StructureSheet renameProject(Uuid id, std::string current) {
        return {Kind::renameProject, id, std::nullopt, std::move(current)};
    }
    static StructureSheet renameGroup(Uuid id, std::string current) {
        return {Kind::renameGroup, id, std::nullopt, std::move(current)};
    }
    static StructureSheet newGroup(Uuid project, std::optional<Uuid> parent) {
        return {Kind::newGroup, project, parent, {}};
    }
    static StructureSheet newProject() { return {}; }

    // "rp-", "rg-", "ng-<project>-<parent or root>" or "np": one sheet per distinct request.
    std::string id() const;
    std::string title() const;
    std::string placeholder() const;
    // What the field holds when the sheet opens: the current name for a rename, else nothing.
    std::string initialText() const;
    // Whether "Save" may be pressed: the text trimmed of white space and line breaks is not empty.
    static bool canSave(std::string_view text);

    // Hands the text, untrimmed, to the model's create or rename operation; the model trims it,
    // ignores what it cannot do and reports its own failures. The request is copied first.
    QCoro::Task<> save(AppModel& app, std::string text) const;

    bool operator==(const StructureSheet&) const = default;
};

}  // namespace vael
