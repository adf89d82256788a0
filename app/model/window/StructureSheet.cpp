#include "app/model/window/StructureSheet.h"

#include "app/agent/ops/AgentText.h"
#include "app/model/AppModel.h"

namespace vael {

namespace {

QCoro::Task<> apply(StructureSheet sheet, AppModel& app, std::string text) {
    switch (sheet.kind) {
        case StructureSheet::Kind::renameProject: co_await app.renameProject(sheet.target, std::move(text)); break;
        case StructureSheet::Kind::renameGroup: co_await app.renameGroup(sheet.target, std::move(text)); break;
        case StructureSheet::Kind::newGroup: co_await app.createGroup(std::move(text), sheet.target, sheet.parent); break;
        case StructureSheet::Kind::newProject: co_await app.createProject(std::move(text)); break;
    }
}

}  // namespace

std::string StructureSheet::id() const {
    switch (kind) {
        case Kind::renameProject: return "rp-" + target.text();
        case Kind::renameGroup: return "rg-" + target.text();
        case Kind::newGroup: return "ng-" + target.text() + "-" + (parent ? parent->text() : std::string("root"));
        case Kind::newProject: return "np";
    }
    return {};
}

std::string StructureSheet::title() const {
    switch (kind) {
        case Kind::renameProject: return "Rename Project";
        case Kind::renameGroup: return "Rename Group";
        case Kind::newGroup: return parent ? "New Subgroup" : "New Group";
        case Kind::newProject: return "New Project";
    }
    return {};
}

std::string StructureSheet::placeholder() const {
    return kind == Kind::renameProject || kind == Kind::newProject ? "Project name" : "Group name";
}

std::string StructureSheet::initialText() const {
    return kind == Kind::renameProject || kind == Kind::renameGroup ? current : std::string();
}

bool StructureSheet::canSave(std::string_view text) {
    return !trimWhitespace(text).empty();
}

QCoro::Task<> StructureSheet::save(AppModel& app, std::string text) const { return apply(*this, app, std::move(text)); }

}  // namespace vael
