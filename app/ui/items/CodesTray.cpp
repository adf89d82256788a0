#include "app/ui/items/CodesTray.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <QWidget>

#include "app/ui/ScreenFactory.h"
#include "app/ui/widgets/Sheet.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {

CodesTray::CodesTray(ScreenFactory& screens, QObject* parent) : QObject(parent), screens_(screens) {
    icon_ = new QSystemTrayIcon(this);
    icon_->setObjectName("codesTray");
    icon_->setIcon(SymbolCatalog::icon("timer", VaelTheme::brand(), 22));
    icon_->setToolTip("Vael Codes");
    connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context) showPopup();
    });
    icon_->show();
}

CodesTray::~CodesTray() { delete popup_; }

void CodesTray::showPopup() {
    // A fresh view each time: the codes are read when it opens and it closes on any click outside.
    delete popup_;
    popup_ = new QWidget(nullptr, Qt::Popup);
    popup_->setObjectName("codesPopup");
    popup_->setAccessibleName("Vael Codes");
    popup_->setAttribute(Qt::WA_DeleteOnClose);
    closeOnEscape(popup_);
    auto* layout = new QVBoxLayout(popup_);
    layout->setContentsMargins(0, 0, 0, 0);
    // The popup is as large as the view in it, locked or unlocked, and follows it when the phase changes.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(screens_.trayCodes());
    popup_->adjustSize();

    QPoint at = QCursor::pos();
    if (const auto* screen = QGuiApplication::screenAt(at)) {
        const QRect room = screen->availableGeometry();
        at.setX(std::clamp(at.x() - popup_->width() / 2, room.left(), room.right() - popup_->width()));
        at.setY(at.y() + popup_->height() > room.bottom() ? at.y() - popup_->height() : at.y());
    }
    popup_->move(at);
    popup_->show();
}

}  // namespace vael
