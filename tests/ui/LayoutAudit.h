#pragma once

// Layout checks for widget tests: every visible child shows whole (not squeezed under what it needs,
// not pushed outside its parent, never at zero width or height; no text, placeholder or menu arrow
// cut off; no page that scrolls where it should grow), and screens built under a given application
// font.

#include <QAbstractButton>
#include <QAction>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOption>
#include <QTextEdit>
#include <QToolButton>
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

// The width a line edit gives its text: its contents less the frame, the text margins, the
// style's own side margins and a clear button's room.
inline int lineEditTextWidth(const QLineEdit* field) {
    QStyleOptionFrame option;
    option.initFrom(field);
    option.rect = field->rect();
    option.lineWidth = field->hasFrame() ? field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field) : 0;
    QRect text = field->style()->subElementRect(QStyle::SE_LineEditContents, &option, field);
    const QMargins margins = field->textMargins();
    text = text.marginsRemoved(margins);
    int width = text.width() - 2 * 2;  // the line edit's own horizontal margin
    if (field->isClearButtonEnabled()) width -= field->fontMetrics().height() + 6;
    for (auto* action : field->actions()) {
        if (!action->isVisible() || action->icon().isNull()) continue;
        width -= 16 + 6;
    }
    return width;
}

// What a plain or rich text box cuts off: a placeholder that does not fit, or text below its last
// visible line with no scroll bar to reach it.
inline QString textBoxFault(QAbstractScrollArea* box, const QString& placeholder, bool empty, qreal documentMargin) {
    const QRect view = box->viewport()->rect();
    if (empty && !placeholder.isEmpty()) {
        const int inner = view.width() - int(2 * documentMargin);
        const QRect needed = box->fontMetrics().boundingRect(QRect(0, 0, inner, 100000), Qt::TextWordWrap, placeholder);
        if (needed.height() + 2 * documentMargin > view.height() + 1 || needed.width() > inner)
            return QStringLiteral("placeholder needs %1x%2, has %3x%4")
                .arg(needed.width()).arg(needed.height() + int(2 * documentMargin)).arg(view.width()).arg(view.height());
    }
    auto* bar = box->verticalScrollBar();
    if (!empty && bar->maximum() > bar->minimum() && box->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff)
        return QStringLiteral("text runs below its box with no scroll bar");
    return {};
}

// What does not show whole in `top` as laid out now: one line per fault, empty when all is well.
// Children of a scroll area's viewport may run below it (they scroll) but not past its width; a
// scroll area of widgets scrolls only where `mayScroll` allows it (lists always may).
inline QStringList layoutFaults(QWidget* top, bool mayScroll = false, bool placeholdersMayCut = false) {
    QStringList faults;
    const auto all = top->findChildren<QWidget*>();
    for (auto* widget : all) {
        if (widget->isWindow() || !widget->isVisibleTo(top)) continue;
        // A combo box's, a spin box's and a line edit's own insides are the style's business.
        if (qobject_cast<QComboBox*>(widget->parentWidget()) || qobject_cast<QLineEdit*>(widget->parentWidget()) ||
            qobject_cast<QAbstractSpinBox*>(widget->parentWidget()))
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
            // A dialog, or a page of controls, grows to its content rather than scroll it.
            if ((qobject_cast<QDialog*>(top) || (!mayScroll && qobject_cast<QScrollArea*>(widget))) &&
                area->verticalScrollBar()->isVisibleTo(top))
                faults << path + QStringLiteral(": vertical scroll bar where the page should grow");
        }
        if (auto* box = qobject_cast<QPlainTextEdit*>(widget)) {
            const QString fault = textBoxFault(box, box->placeholderText(), box->document()->isEmpty(),
                                               box->document()->documentMargin());
            if (!fault.isEmpty()) faults << path + QStringLiteral(": ") + fault;
        }
        if (auto* box = qobject_cast<QTextEdit*>(widget)) {
            const QString fault = textBoxFault(box, box->placeholderText(), box->document()->isEmpty(),
                                               box->document()->documentMargin());
            if (!fault.isEmpty()) faults << path + QStringLiteral(": ") + fault;
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
            // The placeholder tells what goes in: cut short, it tells nothing.
            const QString shown = field->text().isEmpty() ? field->placeholderText() : QString();
            const int needed = field->fontMetrics().horizontalAdvance(shown);
            const int room = lineEditTextWidth(field);
            if (!placeholdersMayCut && !shown.isEmpty() && needed > room)
                faults << path + QStringLiteral(": placeholder needs %1 px, has %2").arg(needed).arg(room);
            if (size.height() < field->minimumSizeHint().height())
                faults << path + QStringLiteral(": text field needs %1 px high, has %2")
                                     .arg(field->minimumSizeHint().height()).arg(size.height());
        }
        if (auto* button = qobject_cast<QToolButton*>(widget); button && button->menu()) {
            // A button with a menu keeps its arrow inside its own frame.
            if (size.width() < button->sizeHint().width())
                faults << path + QStringLiteral(": menu button needs %1 px wide, has %2")
                                     .arg(button->sizeHint().width()).arg(size.width());
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
