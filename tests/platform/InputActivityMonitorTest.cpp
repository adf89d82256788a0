#include "app/platform/InputActivityMonitor.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <functional>
#include <memory>

namespace vael {
namespace {

QGuiApplication& application() {
    qputenv("QT_QPA_PLATFORM", "offscreen");  // never a window on a real desktop
    static int argc = 1;
    static char name[] = "platform_input_tests";
    static char* argv[] = {name, nullptr};
    static auto* app = new QGuiApplication(argc, argv);
    return *app;
}

// Records what reaches an ordinary object, to show the monitor lets events through.
class Target : public QObject {
public:
    int delivered = 0;
    bool event(QEvent* e) override {
        ++delivered;
        return QObject::event(e);
    }
};

TEST(InputActivityMonitor, CountsPressesAndTheWheelButNotMovesOrReleases) {
    application();
    const QPointF at(5, 5);
    const auto mouse = [at](QEvent::Type type, Qt::MouseButton button) {
        return std::make_unique<QMouseEvent>(type, at, at, at, button, button, Qt::NoModifier);
    };
    struct Case {
        const char* what;
        std::function<std::unique_ptr<QEvent>()> make;
        bool activity;
    };
    const Case cases[] = {
        {"key press", [] { return std::make_unique<QKeyEvent>(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"); }, true},
        {"key release", [] { return std::make_unique<QKeyEvent>(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, "a"); }, false},
        {"shift alone", [] { return std::make_unique<QKeyEvent>(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier); }, false},
        {"left press", [&] { return mouse(QEvent::MouseButtonPress, Qt::LeftButton); }, true},
        {"right press", [&] { return mouse(QEvent::MouseButtonPress, Qt::RightButton); }, true},
        {"middle press", [&] { return mouse(QEvent::MouseButtonPress, Qt::MiddleButton); }, true},
        {"double click", [&] { return mouse(QEvent::MouseButtonDblClick, Qt::LeftButton); }, true},
        {"release", [&] { return mouse(QEvent::MouseButtonRelease, Qt::LeftButton); }, false},
        {"move", [&] { return mouse(QEvent::MouseMove, Qt::NoButton); }, false},
        {"wheel", [at] {
             return std::make_unique<QWheelEvent>(at, at, QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                                                  Qt::NoScrollPhase, false);
         }, true},
    };

    int reports = 0;
    InputActivityMonitor monitor([&] { ++reports; });
    ASSERT_TRUE(monitor.install());
    ASSERT_TRUE(monitor.install());  // once only: still one report per event
    Target target;
    for (const Case& c : cases) {
        const int before = reports;
        const int deliveredBefore = target.delivered;
        auto event = c.make();
        QCoreApplication::sendEvent(&target, event.get());
        EXPECT_EQ(reports - before, c.activity ? 1 : 0) << c.what;
        EXPECT_EQ(target.delivered - deliveredBefore, 1) << c.what << " must still reach its target";
    }

    monitor.remove();
    EXPECT_FALSE(monitor.installed());
    const int before = reports;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QCoreApplication::sendEvent(&target, &press);
    EXPECT_EQ(reports, before);
}

TEST(InputActivityMonitor, DestroyingItRemovesIt) {
    application();
    int reports = 0;
    {
        InputActivityMonitor monitor([&] { ++reports; });
        monitor.install();
    }
    QObject target;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QCoreApplication::sendEvent(&target, &press);
    EXPECT_EQ(reports, 0);
}

}  // namespace
}  // namespace vael
