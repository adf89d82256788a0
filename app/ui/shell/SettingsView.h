#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;

namespace vael {

class AppModel;

// The settings: unlock methods, auto-lock, the kill switch, the server status and the version.
// Edits the model's settings directly and follows its changes while open.
class SettingsView : public QWidget {
public:
    explicit SettingsView(AppModel& app, QWidget* parent = nullptr);
    // The designed 460 by 420, or more where the content needs it: it grows with the font rather
    // than scroll.
    QSize sizeHint() const override;

    // The auto-lock choices in order, as minutes.
    static constexpr int kAutoLockChoices[] = {0, 15, 60, 240};
    // "Version " and the application's version, or "1.0" without one.
    static QString versionText();

protected:
    void changeEvent(QEvent* event) override;

private:
    void refresh();

    AppModel& app_;
    QWidget* page_ = nullptr;
    QFormLayout* methods_ = nullptr;
    QWidget* securityKeyRow_ = nullptr;
    QComboBox* autoLock_ = nullptr;
    QCheckBox* killSwitch_ = nullptr;
    QLabel* statusIcon_ = nullptr;
    QLabel* status_ = nullptr;
};

}  // namespace vael
