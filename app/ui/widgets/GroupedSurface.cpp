#include "app/ui/widgets/GroupedSurface.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "app/ui/widgets/Labels.h"
#include "app/ui/design/VaelComponents.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {

namespace {

class SeparatorLine final : public QWidget {
public:
    SeparatorLine() { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), VaelTheme::separator(palette()));
    }
};

}  // namespace

GroupedSurface::GroupedSurface(int inset, QWidget* parent) : QFrame(parent), layout_(new QVBoxLayout(this)) {
    layout_->setContentsMargins(inset, inset, inset, inset);
    layout_->setSpacing(0);
    keepControlOutlinesVisible(this);
}

void GroupedSurface::changeEvent(QEvent* event) {
    QFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange) keepControlOutlinesVisible(this);
}

void keepControlOutlinesVisible(QWidget* card) {
    const QPalette around = card->parentWidget() ? card->parentWidget()->palette() : QApplication::palette();
    QColor window = around.color(QPalette::Window);
    if (VaelTheme::isDark(around)) {
        const QColor base = around.color(QPalette::Base);
        const QColor text = around.color(QPalette::WindowText);
        const auto mix = [](int a, int b) { return a + (b - a) * 35 / 100; };
        const QColor outline(mix(base.red(), text.red()), mix(base.green(), text.green()), mix(base.blue(), text.blue()));
        window = outline.lighter(140);
    }
    if (card->palette().color(QPalette::Window) == window) return;
    QPalette mine = card->palette();
    mine.setColor(QPalette::Window, window);
    card->setPalette(mine);
}

void GroupedSurface::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    // The border is a hairline inside the edge.
    const QPen outline = hairline(VaelTheme::separator(palette()), *this);
    shape.addRoundedRect(hairlineBox(rect(), outline), 12, 12);
    painter.fillPath(shape, VaelTheme::control(palette()));
    painter.setPen(outline);
    painter.drawPath(shape);
}

QLabel* sectionHeader(const QString& text) {
    auto* label = styledLabel(text, TextStyle::caption2, QFont::DemiBold, true);
    QFont font = label->font();
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
    label->setFont(font);
    label->setAccessibleName(text);
    return label;
}

QWidget* separatorLine() { return new SeparatorLine; }

}  // namespace vael
