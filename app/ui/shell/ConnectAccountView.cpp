#include "app/ui/shell/ConnectAccountView.h"

#include <pwd.h>
#include <unistd.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/model/AppModel.h"
#include "app/ui/widgets/BusySpinner.h"
#include "app/ui/widgets/ErrorLabel.h"
#include "app/ui/widgets/Labels.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelComponents.h"

namespace vael {

namespace {

// The header's tile: the antenna painted in the brand gradient on a faint brand square.
class ConnectTile final : public QWidget {
public:
    ConnectTile() { setFixedSize(64, 64); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QColor fill = VaelTheme::brand();
        fill.setAlphaF(0.14f);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(QRectF(rect()), 18, 18);

        const qreal dpr = devicePixelRatioF();
        QPixmap glyph = SymbolCatalog::pixmap("antenna.radiowaves.left.and.right", Qt::black, 30, dpr);
        QPainter tint(&glyph);
        tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
        QLinearGradient gradient(0, 0, 30, 30);
        gradient.setColorAt(0, VaelTheme::brand());
        gradient.setColorAt(1, VaelTheme::brandDeep());
        tint.fillRect(QRectF(0, 0, 30, 30), gradient);
        tint.end();
        p.drawPixmap(QPointF(17, 17), glyph);
    }
};

}  // namespace

QString ConnectAccountView::loginName() {
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
    return qEnvironmentVariable("USER");
}

ConnectAccountView::ConnectAccountView(AppModel& app, QWidget* parent)
    : Sheet(parent, "Connect to Vael server", 420), app_(app) {
    setObjectName("connect");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(36, 36, 36, 36);
    column->setSpacing(24);

    auto* header = new QVBoxLayout;
    header->setSpacing(0);
    header->addWidget(new ConnectTile, 0, Qt::AlignHCenter);
    header->addSpacing(16);
    auto* title = styledLabel("Connect to Vael server", TextStyle::title2, QFont::DemiBold);
    title->setAlignment(Qt::AlignCenter);
    header->addWidget(title);
    header->addSpacing(4);
    const QString host = QUrl(QString::fromStdString(app_.serverEndpoint())).host();
    auto* explanation = styledLabel("Registers this vault with " + host +
                                        " and creates a passkey on your security key. Next time you can unlock with "
                                        "your security key.",
                                    TextStyle::callout, QFont::Normal, true);
    explanation->setObjectName("connect.explanation");
    explanation->setAlignment(Qt::AlignCenter);
    explanation->setWordWrap(true);
    explanation->setFixedWidth(420 - 2 * 36);
    header->addWidget(explanation);
    column->addLayout(header);

    auto* field = new QVBoxLayout;
    field->setSpacing(4);
    auto* caption = styledLabel("HANDLE", TextStyle::caption2, QFont::DemiBold, true);
    QFont spaced = caption->font();
    spaced.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
    caption->setFont(spaced);
    field->addWidget(caption);
    handle_ = named(new QLineEdit(loginName()), "connect.handle", "Handle");
    handle_->setPlaceholderText("Username");
    handle_->setMinimumHeight(34);
    caption->setBuddy(handle_);
    connect(handle_, &QLineEdit::textChanged, this, [this] { refresh(); });
    field->addWidget(handle_);
    column->addLayout(field);

    error_ = new ErrorLabel;
    error_->setObjectName("connect.error");
    column->addWidget(error_);

    auto* buttons = new QHBoxLayout;
    auto* cancel = named(new QPushButton("Cancel"), "connect.cancel", "Cancel");
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(cancel);
    buttons->addStretch(1);
    connect_ = vaelPrimaryButton(new QPushButton);
    connect_->setObjectName("connect.connect");
    connect_->setDefault(true);
    auto* label = new QHBoxLayout(connect_);
    label->setContentsMargins(14, 0, 14, 0);
    label->setSpacing(8);
    label->addStretch(1);
    spinner_ = new BusySpinner(14);
    QPalette light = spinner_->palette();
    light.setColor(QPalette::WindowText, Qt::white);
    spinner_->setPalette(light);
    label->addWidget(spinner_);
    connectLabel_ = new QLabel;
    connectLabel_->setStyleSheet("color: white; background: transparent; font-weight: 600;");
    label->addWidget(connectLabel_);
    label->addStretch(1);
    connect(connect_, &QPushButton::clicked, this, [this] { connectAccount(); });
    buttons->addWidget(connect_);
    column->addLayout(buttons);

    // The sheet grows and shrinks with the sentence.
    column->setSizeConstraint(QLayout::SetFixedSize);
    connect(&app_, &AppModel::errorMessageChanged, this, [this] { error_->setMessage(app_.errorMessage()); });
    error_->setMessage(app_.errorMessage());
    setBusy(false);
    handle_->setFocus();
}

void ConnectAccountView::setBusy(bool busy) {
    busy_ = busy;
    const QString text = busy ? QStringLiteral("Connecting\u2026") : QStringLiteral("Connect");
    connectLabel_->setText(text);
    connect_->setAccessibleName(text);
    spinner_->setVisible(busy);
    const int labelWidth = QFontMetrics(connectLabel_->font()).horizontalAdvance(QStringLiteral("Connecting\u2026"));
    connect_->setMinimumWidth(std::max(90, labelWidth + 14 + 8) + 28);
    refresh();
}

void ConnectAccountView::refresh() { connect_->setEnabled(!busy_ && !handle_->text().isEmpty()); }

void ConnectAccountView::connectAccount() {
    if (busy_ || handle_->text().isEmpty()) return;
    setBusy(true);
    [](QPointer<ConnectAccountView> sheet, AppModel& app, std::string handle) -> QCoro::Task<> {
        co_await app.connectToServer(std::move(handle));
        // Cancelled meanwhile: the sheet is gone and the outcome is only the model's.
        if (!sheet) co_return;
        sheet->setBusy(false);
        if (app.isServerConnected()) {
            sheet->accept();
        } else {
            sheet->ownSentence_ = app.errorMessage();
        }
    }(QPointer<ConnectAccountView>(this), app_, handle_->text().toStdString());
}

// The sheet's failure belongs to the sheet: it must not linger on the page below or on the lock
// screen once the sheet is gone.
void ConnectAccountView::forgetOwnSentence() {
    if (ownSentence_ && app_.errorMessage() == ownSentence_) app_.setErrorMessage(std::nullopt);
    ownSentence_.reset();
}

void ConnectAccountView::done(int result) {
    forgetOwnSentence();
    Sheet::done(result);
}

ConnectAccountView::~ConnectAccountView() { forgetOwnSentence(); }

}  // namespace vael
