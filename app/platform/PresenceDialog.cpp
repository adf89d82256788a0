#include "app/platform/PresenceDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

namespace vael {

PresenceDialog::PresenceDialog(const QString& reason, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Vael"));
    setWindowModality(Qt::ApplicationModal);
    // Requests from agents arrive while Vael is in the background.
    setWindowFlag(Qt::WindowStaysOnTopHint);

    auto* heading = new QLabel(QStringLiteral("Confirm it's you"), this);
    QFont font = heading->font();
    font.setBold(true);
    heading->setFont(font);

    auto* reasonLabel = new QLabel(reason, this);
    reasonLabel->setObjectName(QStringLiteral("reasonLabel"));
    reasonLabel->setTextFormat(Qt::PlainText);
    reasonLabel->setWordWrap(true);

    auto* next = new QLabel(QStringLiteral("Your system will ask for your fingerprint or password next."), this);
    next->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(this);
    auto* proceed = buttons->addButton(QStringLiteral("Continue"), QDialogButtonBox::AcceptRole);
    proceed->setObjectName(QStringLiteral("continueButton"));
    proceed->setDefault(true);
    buttons->addButton(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(reasonLabel);
    layout->addWidget(next);
    layout->addWidget(buttons);
}

bool DialogPresencePrompt::ask(const std::string& reason) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr || QCoreApplication::closingDown()) return false;

    bool answer = false;
    auto show = [&answer, text = QString::fromStdString(reason)] {
        PresenceDialog dialog(text);
        dialog.raise();
        dialog.activateWindow();
        answer = dialog.exec() == QDialog::Accepted;
    };
    if (QThread::currentThread() == app->thread())
        show();
    else if (!QMetaObject::invokeMethod(app, show, Qt::BlockingQueuedConnection))
        return false;
    return answer;
}

}  // namespace vael
