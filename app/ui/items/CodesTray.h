#pragma once

#include <QObject>
#include <QPointer>

class QSystemTrayIcon;
class QWidget;

namespace vael {

class ScreenFactory;

// The tray icon ("Vael Codes") whose click shows the live codes in a popup under the pointer.
class CodesTray final : public QObject {
    Q_OBJECT
public:
    explicit CodesTray(ScreenFactory& screens, QObject* parent = nullptr);
    ~CodesTray() override;

    QSystemTrayIcon* icon() const { return icon_; }
    QWidget* popup() const { return popup_; }
    void showPopup();

private:
    ScreenFactory& screens_;
    QSystemTrayIcon* icon_;
    QPointer<QWidget> popup_;
};

}  // namespace vael
