#include "app/model/window/DeleteTarget.h"

#include "app/model/AppModel.h"

namespace vael {

std::string DeleteTarget::id() const {
    switch (kind) {
        case Kind::item: return "i-" + objectID.text();
        case Kind::group: return "g-" + objectID.text();
        case Kind::project: return "p-" + objectID.text();
    }
    return {};
}

std::string DeleteTarget::prompt() const {
    switch (kind) {
        case Kind::item: return "Delete \u201C" + name + "\u201D?";
        case Kind::group: return "Delete the \u201C" + name + "\u201D group?";
        case Kind::project: return "Delete the \u201C" + name + "\u201D project?";
    }
    return {};
}

std::string DeleteTarget::message() const {
    switch (kind) {
        case Kind::item: return "This secret will be removed from the vault.";
        case Kind::group: return "The group and every secret and subgroup inside it will be deleted.";
        case Kind::project: return "The project and every group and secret inside it will be deleted.";
    }
    return {};
}

std::string DeleteTarget::actionTitle() const { return kind == Kind::item ? "Delete" : "Delete Everything"; }

QCoro::Task<> DeleteTarget::perform(AppModel& app) const {
    // Not a coroutine itself: the model's operation takes the identifier by value before it suspends.
    if (kind == Kind::group) return app.deleteGroup(objectID);
    if (kind == Kind::project) return app.deleteProject(objectID);
    return app.deleteItem(objectID);
}

}  // namespace vael
