#include "app/platform/PresenceDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace vael {

namespace {

// A longer reason scrolls inside its box, so the buttons always stay in view.
constexpr int kMaxReasonLines = 8;

// The reason as plain text, wrapped between words or, for a word wider than the dialog, anywhere;
// as tall as its lines at `width`, up to kMaxReasonLines.
class ReasonText final : public QTextEdit {
public:
    ReasonText(const QString& text, int width, QWidget* parent) : QTextEdit(parent) {
        setObjectName(QStringLiteral("reasonText"));
        setAccessibleName(QStringLiteral("Reason"));
        setAcceptRichText(false);
        setPlainText(text);
        setReadOnly(true);
        setTextInteractionFlags(Qt::TextSelectableByMouse);
        setFocusPolicy(Qt::NoFocus);
        setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setFrameShape(QFrame::NoFrame);
        document()->setDocumentMargin(0);
        viewport()->setAutoFillBackground(false);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        document()->setTextWidth(width);
        fitHeight();
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QTextEdit::resizeEvent(event);
        fitHeight();
    }
    void changeEvent(QEvent* event) override {
        QTextEdit::changeEvent(event);
        if (event->type() == QEvent::FontChange) fitHeight();
    }

private:
    void fitHeight() {
        const int lines = fontMetrics().lineSpacing() * kMaxReasonLines;
        const int needed = static_cast<int>(std::ceil(document()->size().height()));
        setFixedHeight(std::clamp(needed, fontMetrics().lineSpacing(), lines) + 2 * frameWidth());
    }
};

bool isApprovalKey(const QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
}

}  // namespace

PresenceDialog::PresenceDialog(const QString& reason, QWidget* parent, Now now) : QDialog(parent), now_(std::move(now)) {
    setWindowTitle(QStringLiteral("Vael"));
    setWindowModality(Qt::ApplicationModal);
    // Requests from agents arrive while Vael is in the background.
    setWindowFlag(Qt::WindowStaysOnTopHint);
    auto* heading = new QLabel(QStringLiteral("Confirm it's you"), this);
    QFont font = heading->font();
    font.setBold(true);
    heading->setFont(font);

    auto* layout = new QVBoxLayout(this);
    const auto margins = layout->contentsMargins();
    // Room for a sentence per line; a long reason wraps within it rather than widening the dialog.
    const int textWidth = fontMetrics().averageCharWidth() * 48;
    setFixedWidth(textWidth + margins.left() + margins.right());
    auto* reasonText = new ReasonText(reason, textWidth, this);

    auto* next = new QLabel(QStringLiteral("Your system will ask for your fingerprint or password next."), this);
    next->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(this);
    // A plain button, without the stop symbol some styles give the standard Cancel.
    auto* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    auto* proceed = buttons->addButton(QStringLiteral("Continue"), QDialogButtonBox::AcceptRole);
    proceed->setObjectName(QStringLiteral("continueButton"));
    for (auto* button : {cancel, proceed}) {
        button->setAutoDefault(false);
        button->setDefault(false);
        button->installEventFilter(this);
    }
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setTabOrder(cancel, proceed);
    cancel->setFocus();

    layout->addWidget(heading);
    layout->addWidget(reasonText);
    layout->addWidget(next);
    layout->addWidget(buttons);
    installEventFilter(this);
}

void PresenceDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The button box has just made its accepting button the default: Return must not approve.
    for (auto* button : findChildren<QPushButton*>()) button->setDefault(false);
    shownAt_ = now_();
}

bool PresenceDialog::eventFilter(QObject* watched, QEvent* event) {
    // Keys typed for another window just before the prompt came up must not answer it.
    if (isApprovalKey(event) && now_() - shownAt_ < kKeyGuard) {
        event->accept();
        return true;
    }
    return QDialog::eventFilter(watched, event);
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
