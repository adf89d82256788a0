#pragma once

#include <string>

#include <qcoro/qcorotask.h>

#include "core/Uuid.h"

namespace vael {

class AppModel;

// A deletion waiting for the user's confirmation: the object and its name as shown when asked.
struct DeleteTarget {
    enum class Kind { item, group, project };

    Kind kind = Kind::item;
    Uuid objectID;
    std::string name;

    static DeleteTarget item(Uuid id, std::string name) { return {Kind::item, id, std::move(name)}; }
    static DeleteTarget group(Uuid id, std::string name) { return {Kind::group, id, std::move(name)}; }
    static DeleteTarget project(Uuid id, std::string name) { return {Kind::project, id, std::move(name)}; }

    // "i-", "g-" or "p-" and the object's identifier: two targets for one object are one target.
    std::string id() const;
    // The dialog's title, explanation and destructive action.
    std::string prompt() const;
    std::string message() const;
    std::string actionTitle() const;

    // Deletes through the model, which reports its own failures. Copies what it needs first, so the
    // target may go away while the deletion runs.
    QCoro::Task<> perform(AppModel& app) const;

    bool operator==(const DeleteTarget&) const = default;
};

}  // namespace vael
