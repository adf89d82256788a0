#pragma once

// Small pieces the item sheets are built from.

#include <QColor>
#include <QWidget>

#include <string>

class QLabel;
class QLineEdit;

namespace vael {

// The one-pixel rule between a sheet's content and its button row, in the separator colour.
class SheetDivider : public QWidget {
public:
    explicit SheetDivider(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;
};

// A symbol in `tint`, as high as the text's line, beside the text wrapped over as many lines as it needs.
QWidget* symbolRow(const std::string& symbol, const QColor& tint, QLabel* text);

// A line edit with its object and accessible names; `masked` hides what is typed.
QLineEdit* namedLineEdit(const QString& objectName, const QString& accessibleName, bool masked);

}  // namespace vael
