#include "app/ui/design/MotionPreference.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QVariantAnimation>
#include <QWidget>

namespace vael::MotionPreference {

namespace {

// The portal answers a variant holding a variant; no answer means no preference.
bool portalReducesMotion() {
    auto bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    auto call = QDBusMessage::createMethodCall("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                                               "org.freedesktop.portal.Settings", "Read");
    call << QStringLiteral("org.gnome.desktop.interface") << QStringLiteral("enable-animations");
    const QDBusMessage reply = bus.call(call, QDBus::Block, 500);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
    QVariant value = reply.arguments().first();
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value.userType() == QMetaType::Bool && !value.toBool();
}

bool& preference() {
    static bool value = qEnvironmentVariable("VAEL_REDUCE_MOTION") == QLatin1String("1") || portalReducesMotion();
    return value;
}

}  // namespace

bool reduced() { return preference(); }

ScopedPreference::ScopedPreference(bool reduce) : previous_(preference()) { preference() = reduce; }

ScopedPreference::~ScopedPreference() { preference() = previous_; }

void fadeIn(QWidget* widget) {
    if (!widget || reduced()) return;
    auto* effect = new QGraphicsOpacityEffect(widget);
    widget->setGraphicsEffect(effect);
    auto* animation = new QPropertyAnimation(effect, "opacity", effect);
    animation->setDuration(500);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    animation->setEasingCurve(QEasingCurve::OutCubic);
    // The effect goes once the fade is over, so later drawing is the widget's own.
    QObject::connect(animation, &QPropertyAnimation::finished, widget,
                     [widget] { widget->setGraphicsEffect(nullptr); });
    animation->start();
}

QEasingCurve spring() {
    // A lightly damped spring (damping fraction 0.85) barely overshoots.
    QEasingCurve curve(QEasingCurve::OutBack);
    curve.setOvershoot(0.6);
    return curve;
}

void animate(QObject* owner, QVariantAnimation*& slot, double from, double to, int ms, const QEasingCurve& curve,
             std::function<void(double)> step) {
    if (reduced() || !owner) {
        if (slot) slot->stop();
        step(to);
        return;
    }
    if (!slot) slot = new QVariantAnimation(owner);
    slot->stop();
    QObject::disconnect(slot, &QVariantAnimation::valueChanged, nullptr, nullptr);
    QObject::connect(slot, &QVariantAnimation::valueChanged, owner,
                     [step = std::move(step)](const QVariant& value) { step(value.toDouble()); });
    slot->setDuration(ms);
    slot->setEasingCurve(curve);
    slot->setStartValue(from);
    slot->setEndValue(to);
    slot->start();
}

}  // namespace vael::MotionPreference
