#pragma once

#include "app/model/window/StructureSheet.h"
#include "app/ui/widgets/Sheet.h"

class QLineEdit;
class QPushButton;

namespace vael {

class AppModel;

// The name sheet for creating or renaming a project or a group. "Save" hands the name to the model
// and closes at once; the model trims it, refuses what it cannot do and reports its own failures.
// Return in the field saves whatever the text: a blank name then changes nothing.
class StructureEditSheet : public Sheet {
public:
    static constexpr int kWidth = 380;

    StructureEditSheet(StructureSheet request, AppModel& app, QWidget* parent);

    const StructureSheet& request() const { return request_; }

private:
    void save();

    StructureSheet request_;
    AppModel& app_;
    QLineEdit* field_;
    QPushButton* save_;
    bool saved_ = false;
};

}  // namespace vael
