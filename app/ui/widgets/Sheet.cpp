#include "app/ui/widgets/Sheet.h"

#include <QAction>
#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>

namespace vael {

void useDialogTitleBar(QDialog* dialog) {
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
}

QAction* addKeyAction(QWidget* widget, const char* objectName, const QList<QKeySequence>& keys,
                      Qt::ShortcutContext context, std::function<void()> run) {
    auto* action = new QAction(widget);
    action->setObjectName(QString::fromLatin1(objectName));
    action->setShortcuts(keys);
    action->setShortcutContext(context);
    QObject::connect(action, &QAction::triggered, widget, std::move(run));
    widget->addAction(action);
    return action;
}

void closeOnEscape(QWidget* window) {
    addKeyAction(window, "closeOnEscape", {QKeySequence(Qt::Key_Escape)}, Qt::WindowShortcut, [window] { window->close(); });
}

Sheet::Sheet(QWidget* parent, const QString& title, int fixedWidth) : QDialog(parent) {
    useDialogTitleBar(this);
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(true);
    if (!title.isEmpty()) setWindowTitle(title);
    if (fixedWidth > 0) setFixedWidth(fixedWidth);
}

void Sheet::fitDesignedSize(QSize designed) {
    auto* column = layout();
    if (!column) {
        setFixedSize(designed);
        return;
    }
    // Style sheets and fonts apply at polish; a stage built before its first show is measured as drawn.
    ensurePolished();
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const auto scrolls = findChildren<QScrollArea*>(Qt::FindDirectChildrenOnly);
    const int sides = column->contentsMargins().left() + column->contentsMargins().right();
    int width = std::max(designed.width(), column->totalMinimumSize().width());
    for (auto* scroll : scrolls) {
        if (auto* content = scroll->widget())
            width = std::max(width, content->minimumSizeHint().width() + sides + 2 * scroll->frameWidth());
    }
    for (auto* scroll : scrolls) {
        auto* content = scroll->widget();
        if (!content || !scroll->widgetResizable()) continue;
        const int inner = width - sides - 2 * scroll->frameWidth();
        const int needed = content->hasHeightForWidth() ? content->heightForWidth(inner) : content->sizeHint().height();
        scroll->setMinimumHeight(needed + 2 * scroll->frameWidth());
    }
    column->invalidate();
    column->activate();
    // Every row at the height it asks for, not squeezed to its minimum.
    int height = std::max(designed.height(), column->totalSizeHint().height());
    if (column->hasHeightForWidth()) height = std::max(height, column->totalHeightForWidth(width));
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const int room = screen ? screen->availableGeometry().height() * 9 / 10 : height;
    // Only a scroll area can take what the screen has no room for; without one, nothing is cut off.
    if (height > room && !scrolls.isEmpty()) {
        int bar = 0;
        for (auto* scroll : scrolls) {
            scroll->setMinimumHeight(0);
            bar = std::max(bar, scroll->verticalScrollBar()->sizeHint().width());
        }
        height = std::max(designed.height(), room);
        width += bar;  // the scroll bar takes its room beside the content, not from it
    }
    setFixedSize(width, height);
}

// Return belongs to the sheet's default button alone: a focused secondary button (Cancel above
// all) must never take it, which Qt's auto-default would let it do.
void Sheet::quietSecondaryButtons() {
    for (auto* button : findChildren<QPushButton*>())
        if (!button->isDefault() && button->autoDefault()) button->setAutoDefault(false);
}

bool Sheet::event(QEvent* event) {
    if (event->type() == QEvent::Show || event->type() == QEvent::LayoutRequest) quietSecondaryButtons();
    return QDialog::event(event);
}

}  // namespace vael
