#pragma once

#include <QMainWindow>
#include <QPointer>

#include <qcoro/qcorotask.h>

class QAction;
#include <QDialog>
class QStackedWidget;

namespace vael {

class AppModel;
class CaptureHost;
class ScreenFactory;

// The one main window: a stack holding the page for the model's phase (onboarding, unlock, the
// vault, an invite), swapped for a fresh page whenever the choice changes, and the capture sheet
// over whichever page shows. Its first appearance runs the model's bootstrap.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    enum class Screen { onboarding, unlock, vault, invite };
    Q_ENUM(Screen)

    static constexpr QSize kMinimumSize{940, 600};
    static constexpr QSize kDefaultSize{1040, 680};

    // Without a tray the menu offers "Vael Codes" and closing the window quits.
    MainWindow(AppModel& app, ScreenFactory& screens, bool hasTray, QWidget* parent = nullptr);
    ~MainWindow() override;

    Screen screen() const { return screen_; }
    QWidget* page() const { return page_; }
    // Shows, raises and activates the window.
    void bringForward();
    // Locks, then ends the application.
    QCoro::Task<> quit();
    void openSettings();
    void openCodesWindow();
    void setVisible(bool visible) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Screen chosenScreen() const;
    void follow();
    // The page replaces the one showing, which goes.
    void arrive(QWidget* page);
    QWidget* makePage(Screen screen);
    void buildMenu();

    AppModel& app_;
    ScreenFactory& screens_;
    bool hasTray_;
    QStackedWidget* stack_;
    QPointer<QWidget> page_;  // the page of screen_, showing or on its way
    Screen screen_ = Screen::unlock;
    bool bootstrapped_ = false;
    bool quitting_ = false;
    CaptureHost* capture_;
    QPointer<QDialog> settings_;
    QPointer<QWidget> codesWindow_;
};

}  // namespace vael
