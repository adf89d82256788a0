#include "app/platform/PasskeyDialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

namespace vael {

namespace {

QApplication* widgetApplication() {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    return app == nullptr || QCoreApplication::closingDown() ? nullptr : app;
}

// Runs `work` on the interface thread; waits for it when `wait`.
template <typename Work>
bool onInterfaceThread(QApplication* app, Work work, bool wait) {
    if (QThread::currentThread() == app->thread()) {
        work();
        return true;
    }
    return QMetaObject::invokeMethod(app, std::move(work), wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

QLabel* heading(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

}  // namespace

PinDialog::PinDialog(const QString& message, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Vael"));
    setWindowModality(Qt::ApplicationModal);

    auto* messageLabel = new QLabel(message, this);
    messageLabel->setObjectName(QStringLiteral("messageLabel"));
    messageLabel->setTextFormat(Qt::PlainText);
    messageLabel->setWordWrap(true);

    field_ = new QLineEdit(this);
    field_->setObjectName(QStringLiteral("pinField"));
    field_->setEchoMode(QLineEdit::Password);
    field_->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);

    auto* buttons = new QDialogButtonBox(this);
    auto* proceed = buttons->addButton(QStringLiteral("Continue"), QDialogButtonBox::AcceptRole);
    proceed->setObjectName(QStringLiteral("continueButton"));
    proceed->setDefault(true);
    buttons->addButton(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading(QStringLiteral("Security key PIN"), this));
    layout->addWidget(messageLabel);
    layout->addWidget(field_);
    layout->addWidget(buttons);
}

SecureBytes PinDialog::takePin() {
    QByteArray utf8 = field_->text().toUtf8();
    SecureBytes pin(reinterpret_cast<const std::uint8_t*>(utf8.constData()), static_cast<std::size_t>(utf8.size()));
    sodium_memzero(utf8.data(), static_cast<std::size_t>(utf8.size()));
    field_->clear();
    return pin;
}

TouchDialog::TouchDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Vael"));
    setWindowFlag(Qt::WindowStaysOnTopHint);

    auto* text = new QLabel(QStringLiteral("Touch your security key to continue."), this);
    text->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading(QStringLiteral("Confirm with your security key"), this));
    layout->addWidget(text);
    layout->addWidget(buttons);
}

std::optional<SecureBytes> DialogPinPrompt::askPin(const std::string& message) {
    QApplication* app = widgetApplication();
    if (app == nullptr) return std::nullopt;
    std::optional<SecureBytes> answer;
    auto show = [this, &answer, text = QString::fromStdString(message)] {
        PinDialog dialog(text);
        dialog_ = &dialog;
        dialog.raise();
        dialog.activateWindow();
        if (dialog.exec() == QDialog::Accepted) answer = dialog.takePin();
        dialog_ = nullptr;
    };
    if (!onInterfaceThread(app, show, true)) return std::nullopt;
    return answer;
}

void DialogPinPrompt::cancel() {
    QApplication* app = widgetApplication();
    if (app == nullptr) return;
    onInterfaceThread(
        app,
        [this] {
            if (dialog_) dialog_->reject();
        },
        false);
}

void DialogTouchPrompt::show(std::function<void()> cancel) {
    QApplication* app = widgetApplication();
    if (app == nullptr) return;
    onInterfaceThread(
        app,
        [this, cancel = std::move(cancel)] {
            if (dialog_) dialog_->deleteLater();
            dialog_ = new TouchDialog();
            dialog_->setAttribute(Qt::WA_DeleteOnClose);
            QObject::connect(dialog_, &QDialog::rejected, dialog_, [cancel] { cancel(); });
            dialog_->show();
            dialog_->raise();
        },
        false);
}

void DialogTouchPrompt::hide() {
    QApplication* app = widgetApplication();
    if (app == nullptr) return;
    onInterfaceThread(
        app,
        [this] {
            if (!dialog_) return;
            // No cancel after this: the request it would cancel is over.
            QObject::disconnect(dialog_, &QDialog::rejected, nullptr, nullptr);
            dialog_->close();
            dialog_ = nullptr;
        },
        true);
}

}  // namespace vael
