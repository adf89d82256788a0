#include "app/ui/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QGuiApplication>
#include <QGraphicsOpacityEffect>
#include <QMenuBar>
#include <QPixmapCache>
#include <QPropertyAnimation>
#include <QScreen>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/model/AppModel.h"
#include "app/ui/items/CaptureHost.h"
#include "app/ui/ScreenFactory.h"
#include "app/ui/window/VaultScreen.h"
#include "app/ui/widgets/Sheet.h"
#include "app/ui/design/MotionPreference.h"
#include "app/ui/design/VaelTheme.h"

#include <chrono>
#include <cstdio>

namespace vael {

namespace {

constexpr int kFadeMs = 350;
constexpr qreal kFadeFrom = 0.7;

// The page is readable from its first frame: the fade runs over it rather than before it.
void fadeIn(QWidget* page) {
    if (MotionPreference::reduced()) return;
    auto* effect = new QGraphicsOpacityEffect(page);
    effect->setOpacity(kFadeFrom);
    page->setGraphicsEffect(effect);
    auto* fade = new QPropertyAnimation(effect, "opacity", page);
    fade->setDuration(kFadeMs);
    fade->setStartValue(kFadeFrom);
    fade->setEndValue(1.0);
    fade->setEasingCurve(QEasingCurve::OutCubic);
    // The effect goes when the fade ends: it would otherwise repaint the page through an offscreen copy.
    QObject::connect(fade, &QPropertyAnimation::finished, page, [page] { page->setGraphicsEffect(nullptr); });
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

// Focus moves into a page: to the control its focus proxy names, else to the one it chose as it
// appeared (the lock screen's field), so asked after the show.
void focusArrival(QWidget* page) {
    QWidget* chosen = page->focusProxy() ? page : page->focusWidget();
    if (!chosen || (chosen != page && !page->isAncestorOf(chosen))) chosen = page;
    chosen->setFocus(Qt::OtherFocusReason);
    // The proxy names only where the keyboard lands on arrival: left in place, it would take the
    // page's other columns out of forward Tab.
    page->setFocusProxy(nullptr);
}

// A window of its own around one screen, deleted when closed.
template <class Window>
Window* hostWindow(Window* window, const char* objectName, const QString& title, QSize size, QWidget* content) {
    window->setObjectName(objectName);
    window->setWindowTitle(title);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->resize(size);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    return window;
}

void showWindow(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

// VAEL_STALL_PROBE set: each turn of the event loop later than 20 ms goes to stderr as its length
// and the monotonic time it ended, for the window bench. Off by default; it prints nothing else.
void startStallProbe(QObject* owner) {
    using Clock = std::chrono::steady_clock;
    auto* timer = new QTimer(owner);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(4);
    QObject::connect(timer, &QTimer::timeout, owner, [last = Clock::now()]() mutable {
        const auto now = Clock::now();
        const double gap = std::chrono::duration<double, std::milli>(now - last).count();
        last = now;
        if (gap > 20) {
            std::fprintf(stderr, "vael-stall %.1f %lld\n", gap,
                         static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count()));
        }
    });
    timer->start();
}

}  // namespace

MainWindow::MainWindow(AppModel& app, ScreenFactory& screens, bool hasTray, QWidget* parent)
    : QMainWindow(parent), app_(app), screens_(screens), hasTray_(hasTray) {
    setObjectName("mainWindow");
    setWindowTitle("Vael");
    setAccessibleName("Vael");
    // A small screen at a large scale has less room than the design's sizes: the window never
    // starts, nor is held, larger than the screen it opens on.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize room = screen ? screen->availableGeometry().size() : kDefaultSize;
    setMinimumSize(kMinimumSize.boundedTo(room));
    resize(kDefaultSize.boundedTo(room));

    // The brand colour marks selections and focus everywhere inside.
    QPalette branded = palette();
    branded.setColor(QPalette::Highlight, VaelTheme::brand());
    branded.setColor(QPalette::HighlightedText, Qt::white);
    setPalette(branded);

    stack_ = new QStackedWidget(this);
    stack_->setObjectName("screens");
    setCentralWidget(stack_);
    buildMenu();

    capture_ = new CaptureHost(app_, screens_, this);
    connect(&app_, &AppModel::phaseChanged, this, &MainWindow::follow);
    connect(&app_, &AppModel::pendingInviteChanged, this, &MainWindow::follow);
    screen_ = chosenScreen();
    page_ = makePage(screen_);
    stack_->addWidget(page_);
    focusArrival(page_);
    if (qEnvironmentVariableIsSet("VAEL_STALL_PROBE")) startStallProbe(this);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildMenu() {
    auto* menu = menuBar()->addMenu("&Vael");
    menu->setObjectName("vaelMenu");
    auto* settings = menu->addAction("Settings…");
    settings->setObjectName("settingsAction");
    settings->setShortcut(QKeySequence("Ctrl+,"));
    connect(settings, &QAction::triggered, this, &MainWindow::openSettings);
    if (!hasTray_) {
        auto* codes = menu->addAction("Vael Codes");
        codes->setObjectName("codesWindowAction");
        connect(codes, &QAction::triggered, this, &MainWindow::openCodesWindow);
    }
    menu->addSeparator();
    auto* quit = menu->addAction("Quit");
    quit->setObjectName("quitAction");
    quit->setShortcut(QKeySequence("Ctrl+Q"));
    connect(quit, &QAction::triggered, this, [this] { this->quit(); });
}

MainWindow::Screen MainWindow::chosenScreen() const {
    switch (app_.phase()) {
    case AppModel::Phase::onboarding:
        return Screen::onboarding;
    case AppModel::Phase::locked:
        return Screen::unlock;
    case AppModel::Phase::unlocked:
        return Screen::vault;
    case AppModel::Phase::acceptingInvite:
        return app_.pendingInvite() ? Screen::invite : Screen::vault;
    }
    return Screen::unlock;
}

QWidget* MainWindow::makePage(Screen screen) {
    switch (screen) {
    case Screen::onboarding:
        return screens_.onboarding();
    case Screen::unlock:
        return screens_.unlock();
    case Screen::vault:
        return new VaultScreen(app_, screens_);
    case Screen::invite:
        return screens_.inviteAccept();
    }
    return nullptr;
}

// A new page for every change of screen: the old one's state goes with it.
void MainWindow::follow() {
    const auto next = chosenScreen();
    if (next == screen_ && page_) return;
    // A sentence about the open vault (a failed connect, move or save) means nothing on the lock
    // screen that replaces it.
    if (next == Screen::unlock && (screen_ == Screen::vault || screen_ == Screen::invite)) {
        app_.setErrorMessage(std::nullopt);
        // The session's row images go with it; the model trims the heap after.
        QPixmapCache::clear();
    }
    screen_ = next;
    auto* page = makePage(next);
    stack_->addWidget(page);
    // A page still on its way is dropped; the one showing stays until the new one arrives.
    if (page_ && page_ != stack_->currentWidget()) page_->deleteLater();
    page_ = page;
    // The vault page arrives with its list: its first frame is the vault, never an empty list.
    if (auto* vault = qobject_cast<VaultScreen*>(page); vault && !vault->isReady()) {
        connect(vault, &VaultScreen::ready, this, [this, vault] {
            if (page_ == vault) arrive(vault);
        });
        return;
    }
    arrive(page);
}

void MainWindow::arrive(QWidget* page) {
    QWidget* leaving = stack_->currentWidget();
    stack_->setCurrentWidget(page);
    if (leaving && leaving != page) leaving->deleteLater();
    focusArrival(page);
    fadeIn(page);
}

// Bootstrap before anything shows: the first page's first appearance must already know the
// phase and whether a security key is enrolled (children see their show before the window does).
void MainWindow::setVisible(bool visible) {
    if (visible && !bootstrapped_) {
        bootstrapped_ = true;
        app_.bootstrap();
    }
    QMainWindow::setVisible(visible);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (hasTray_ || quitting_) {
        event->accept();  // with a tray the window only hides; the tray keeps the codes at hand
        return;
    }
    event->ignore();
    quit();
}

QCoro::Task<> MainWindow::quit() {
    if (quitting_) co_return;
    quitting_ = true;
    auto lock = app_.lock();
    co_await lock;
    QApplication::quit();
}

void MainWindow::bringForward() {
    if (isMinimized()) showNormal();
    showWindow(this);
}

void MainWindow::openSettings() {
    if (!settings_) {
        // As large as the settings ask at the current font, within the screen.
        QWidget* content = screens_.settings();
        const QScreen* display = QWidget::screen() ? QWidget::screen() : QGuiApplication::primaryScreen();
        const QSize room = display ? display->availableGeometry().size() * 9 / 10 : content->sizeHint();
        settings_ = hostWindow(new QDialog(this), "settingsDialog", "Settings",
                               content->sizeHint().expandedTo({460, 420}).boundedTo(room), content);
    }
    showWindow(settings_);
}

void MainWindow::openCodesWindow() {
    if (!codesWindow_) {
        codesWindow_ = hostWindow(new QWidget(this, Qt::Window), "codesWindow", "Vael Codes", {320, 420}, screens_.trayCodes());
        closeOnEscape(codesWindow_);
    }
    showWindow(codesWindow_);
}

}  // namespace vael
