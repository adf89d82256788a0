#pragma once

// Layout checks for widget tests: every visible child shows whole (not squeezed under what it needs,
// not pushed outside its parent, never at zero width or height), and screens built under a given
// application font.

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QStringList>
#include <QWidget>

namespace vael::testing {

// The application font at `points` for as long as it lives; widgets built meanwhile take it.
class AppFontSize {
public:
    explicit AppFontSize(qreal points) : saved_(QApplication::font()) {
        QFont font = saved_;
        font.setPointSizeF(points);
        QApplication::setFont(font);
    }
    ~AppFontSize() { QApplication::setFont(saved_); }
    AppFontSize(const AppFontSize&) = delete;
    AppFontSize& operator=(const AppFontSize&) = delete;

private:
    QFont saved_;
};

inline QString widgetPath(const QWidget* widget, const QWidget* top) {
    QStringList names;
    for (auto* at = widget; at && at != top; at = at->parentWidget())
        names.prepend(at->objectName().isEmpty() ? QString::fromLatin1(at->metaObject()->className()) : at->objectName());
    return names.join('/');
}

// What does not show whole in `top` as laid out now: one line per fault, empty when all is well.
// Children of a scroll area's viewport may run below it (they scroll) but not past its width.
inline QStringList layoutFaults(QWidget* top) {
    QStringList faults;
    const auto all = top->findChildren<QWidget*>();
    for (auto* widget : all) {
        if (widget->isWindow() || !widget->isVisibleTo(top)) continue;
        // A combo box's and a line edit's own insides are the style's business.
        if (qobject_cast<QComboBox*>(widget->parentWidget()) || qobject_cast<QLineEdit*>(widget->parentWidget()))
            continue;
        const QString path = widgetPath(widget, top);
        const QSize size = widget->size();
        if (size.width() <= 0 || size.height() <= 0) {
            faults << path + QStringLiteral(": zero size %1x%2").arg(size.width()).arg(size.height());
            continue;
        }
        if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) {
            if (area->horizontalScrollBar()->isVisibleTo(top))
                faults << path + QStringLiteral(": horizontal scroll bar");
            // A dialog grows to its content rather than scroll it.
            if (qobject_cast<QDialog*>(top) && area->verticalScrollBar()->isVisibleTo(top))
                faults << path + QStringLiteral(": vertical scroll bar in a dialog");
        }
        if (auto* label = qobject_cast<QLabel*>(widget); label && !label->text().isEmpty()) {
            const QSize needed = label->minimumSizeHint();
            if (label->wordWrap()) {
                const int height = label->heightForWidth(size.width());
                if (size.height() < height)
                    faults << path + QStringLiteral(": wrapped text needs %1 px high, has %2").arg(height).arg(size.height());
            } else if (size.width() < needed.width() || size.height() < needed.height()) {
                faults << path + QStringLiteral(": text needs %1x%2, has %3x%4")
                                     .arg(needed.width()).arg(needed.height()).arg(size.width()).arg(size.height());
            }
        }
        if (auto* field = qobject_cast<QLineEdit*>(widget); field && field->isEnabled()) {
            const int readable = field->fontMetrics().averageCharWidth() * 12;
            if (size.width() < readable)
                faults << path + QStringLiteral(": text field %1 px wide, under 12 characters").arg(size.width());
        }
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            const QSize needed = button->minimumSizeHint();
            if (size.width() < needed.width() || size.height() < needed.height())
                faults << path + QStringLiteral(": button needs %1x%2, has %3x%4")
                                     .arg(needed.width()).arg(needed.height()).arg(size.width()).arg(size.height());
        }
        const QWidget* parent = widget->parentWidget();
        if (!parent) continue;
        const QRect frame = widget->geometry();
        const bool inViewport = [&] {
            auto* area = qobject_cast<const QAbstractScrollArea*>(parent->parentWidget());
            return area && area->viewport() == parent;
        }();
        const bool fits = inViewport ? frame.left() >= 0 && frame.right() <= parent->rect().right()
                                     : parent->rect().contains(frame);
        if (!fits)
            faults << path + QStringLiteral(": %1,%2 %3x%4 outside its parent's %5x%6")
                                 .arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height())
                                 .arg(parent->width()).arg(parent->height());
    }
    return faults;
}

}  // namespace vael::testing
