#pragma once

#include <QDrag>
#include <QMimeData>
#include <QPixmap>

namespace vael {

// An item view whose drag image hangs below and to the right of the pointer instead of under it,
// so the row or folder it is dropped on stays in sight. The image is the first dragged row.
template <class View>
class DragBesidePointer : public View {
public:
    using View::View;

    static constexpr QPoint kHotSpot{-14, -10};

protected:
    void startDrag(Qt::DropActions actions) override {
        const auto indexes = this->selectedIndexes();
        if (indexes.isEmpty() || !this->model()) return;
        QMimeData* data = this->model()->mimeData(indexes);
        if (!data) return;
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        const QRect row = this->visualRect(indexes.first()).intersected(this->viewport()->rect());
        if (!row.isEmpty()) drag->setPixmap(this->viewport()->grab(row));
        drag->setHotSpot(kHotSpot);
        // The move itself is the model's, made where it is dropped: nothing is removed here.
        drag->exec(actions, this->defaultDropAction());
    }
};

}  // namespace vael
