#include "app/platform/InputActivityMonitor.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace vael {

namespace {

// Keys that only change modifiers or lock states: on their own they are no sign of work.
bool isModifierKey(int key) {
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
        return true;
    default:
        return false;
    }
}

}  // namespace

InputActivityMonitor::InputActivityMonitor(std::function<void()> onActivity, QObject* parent)
    : QObject(parent), onActivity_(std::move(onActivity)) {}

InputActivityMonitor::~InputActivityMonitor() {
    remove();
}

bool InputActivityMonitor::install() {
    if (installed_) return true;
    auto* application = QCoreApplication::instance();
    if (!application) return false;
    application->installEventFilter(this);
    installed_ = true;
    return true;
}

void InputActivityMonitor::remove() {
    if (!installed_) return;
    if (auto* application = QCoreApplication::instance()) application->removeEventFilter(this);
    installed_ = false;
}

bool InputActivityMonitor::isActivity(const QEvent& event) {
    switch (event.type()) {
    case QEvent::KeyPress:
        return !isModifierKey(static_cast<const QKeyEvent&>(event).key());
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
        return true;
    default:
        return false;
    }
}

bool InputActivityMonitor::eventFilter(QObject* watched, QEvent* event) {
    if (event && onActivity_ && isActivity(*event)) onActivity_();
    return QObject::eventFilter(watched, event);
}

}  // namespace vael
