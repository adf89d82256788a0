#pragma once

#include <QWidget>

namespace vael {

// The one-pixel rule between a sheet's content and its button row, in the separator colour.
class SheetDivider : public QWidget {
public:
    explicit SheetDivider(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;
};

}  // namespace vael
