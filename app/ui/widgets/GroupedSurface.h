#pragma once

#include <QFrame>

class QLabel;
class QVBoxLayout;

namespace vael {

// The detail pane's card surface: a rounded rectangle (radius 12) in the control colour with a thin
// separator-coloured border. Content goes in content().
class GroupedSurface : public QFrame {
public:
    explicit GroupedSurface(int inset, QWidget* parent = nullptr);
    QVBoxLayout* content() const { return layout_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void changeEvent(QEvent* event) override;

private:
    QVBoxLayout* layout_;
};

// Styles such as Fusion outline text fields and check boxes in the window colour made darker; on a
// dark card that outline vanishes, so the card hands its controls a window colour whose darker
// shade shows against it. Call at construction and on every palette or parent change.
void keepControlOutlinesVisible(QWidget* card);

// A card's upper-case heading: caption-2, semibold, secondary, slightly spaced.
QLabel* sectionHeader(const QString& text);

// A one-pixel line in the separator colour.
QWidget* separatorLine();

}  // namespace vael
