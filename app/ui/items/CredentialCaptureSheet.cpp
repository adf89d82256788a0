#include "app/ui/items/CredentialCaptureSheet.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/model/items/CaptureForm.h"
#include "app/ui/widgets/Labels.h"
#include "app/ui/widgets/SheetParts.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {

namespace {

std::string utf8(const QLineEdit* edit) { return edit->text().toStdString(); }

}  // namespace

CredentialCaptureSheet::CredentialCaptureSheet(LiveCredentialCapturePresenter::Pending pending,
                                               std::shared_ptr<LiveCredentialCapturePresenter> presenter, QWidget* parent)
    : Sheet(parent, QStringLiteral("Save a login for the AI"), kWidth),
      pending_(std::move(pending)),
      presenter_(std::move(presenter)) {
    setObjectName("captureSheet");
    setAccessibleName("Save a login for the AI");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(16);

    auto* header = new QVBoxLayout;
    header->setSpacing(4);
    auto* title = styledLabel("Save a login for the AI", TextStyle::headline, QFont::DemiBold);
    title->setObjectName("captureTitle");
    title->setAccessibleName(title->text());
    header->addWidget(title);
    // Everything below the title comes from an agent: say so, and show only the site's host, so an
    // agent's own words can never pass for the application's.
    auto* asker = styledLabel("An AI agent asks you to save a login for this site:", TextStyle::callout, QFont::Normal, true);
    asker->setObjectName("captureAsker");
    asker->setAccessibleName(asker->text());
    asker->setWordWrap(true);
    header->addWidget(asker);
    auto* origin = styledLabel(QString::fromStdString(CaptureForm::siteShown(pending_)), TextStyle::callout, QFont::DemiBold);
    origin->setObjectName("captureOrigin");
    origin->setAccessibleName(origin->text());
    origin->setWordWrap(true);
    origin->setTextInteractionFlags(Qt::TextSelectableByMouse);
    header->addWidget(origin);
    layout->addLayout(header);

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Labels above their fields: the longest label would leave the fields too narrow beside it.
    form->setRowWrapPolicy(QFormLayout::WrapAllRows);
    form->setVerticalSpacing(6);
    name_ = namedLineEdit("captureName", "Name", false);
    username_ = namedLineEdit("captureUsername", "Username or email", false);
    password_ = namedLineEdit("capturePassword", "Password", true);
    otpSecret_ = namedLineEdit("captureOTPSecret", QStringLiteral("Authenticator (TOTP) secret \u2014 optional"), true);
    tier_ = new QComboBox;
    tier_->setObjectName("captureTier");
    tier_->setAccessibleName("AI access");
    // The tiers by the names the rest of the window gives them.
    tier_->addItem(TierStyle::injectable().title, static_cast<int>(UDSAIAccess::injectable));
    tier_->addItem(TierStyle::humanGated().title, static_cast<int>(UDSAIAccess::humanGated));
    tier_->addItem(TierStyle::aiHidden().title, static_cast<int>(UDSAIAccess::aiHidden));
    tier_->setCurrentIndex(1);
    form->addRow("Name", name_);
    form->addRow("Username or email", username_);
    form->addRow("Password", password_);
    form->addRow(otpSecret_->accessibleName(), otpSecret_);
    form->addRow("AI access", tier_);
    layout->addLayout(form);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* cancel = new QPushButton("Cancel");
    cancel->setObjectName("captureCancel");
    cancel->setAccessibleName("Cancel");
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &CredentialCaptureSheet::reject);
    buttons->addWidget(cancel);
    save_ = new QPushButton("Save");
    save_->setObjectName("captureSave");
    save_->setAccessibleName("Save");
    save_->setDefault(true);
    save_->setEnabled(false);
    connect(save_, &QPushButton::clicked, this, &CredentialCaptureSheet::save);
    buttons->addWidget(save_);
    layout->addLayout(buttons);

    connect(password_, &QLineEdit::textChanged, save_, [this] { save_->setEnabled(!password_->text().isEmpty()); });
    // Every row at its height, whatever the font: the sheet grows rather than squeeze them.
    fitDesignedSize({kWidth, 0});
}

CredentialCaptureSheet::~CredentialCaptureSheet() {
    // A sheet that goes without being dismissed (its window closing) still answers its agent.
    answer(std::nullopt);
}

void CredentialCaptureSheet::showEvent(QShowEvent* event) {
    if (name_->text().isEmpty()) name_->setText(QString::fromStdString(pending_.suggestedName.value_or("")));
    Sheet::showEvent(event);
}

void CredentialCaptureSheet::save() {
    if (password_->text().isEmpty()) return;
    CaptureForm form{utf8(name_), utf8(username_), utf8(password_), utf8(otpSecret_),
                     static_cast<UDSAIAccess>(tier_->currentData().toInt())};
    answer(form.credential(pending_));
    accept();
}

void CredentialCaptureSheet::reject() {
    answer(std::nullopt);
    Sheet::reject();
}

void CredentialCaptureSheet::answer(std::optional<CapturedCredential> credential) {
    if (answered_) return;
    answered_ = true;
    if (credential) {
        presenter_->submit(pending_.id, *credential);
    } else {
        presenter_->cancel(pending_.id);
    }
}

}  // namespace vael
