#include "app/ui/sharing/VerifyGrantSheet.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/widgets/BusySpinner.h"
#include "app/ui/design/VaelComponents.h"
#include "app/ui/design/VaelTheme.h"
#include "app/ui/sharing/SharingWidgets.h"
#include "app/ui/widgets/DisplayText.h"

namespace vael {

using State = VerifyGrantViewModel::State;

VerifyGrantSheet::VerifyGrantSheet(SharingContext context, std::shared_ptr<VerifyGrantViewModel> vm,
                                   std::function<void()> onGranted, QWidget* parent)
    : Sheet(parent, "Verify the invitee", 460), context_(std::move(context)), vm_(std::move(vm)),
      onGranted_(std::move(onGranted)) {
    setObjectName("verifyGrantSheet");
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(16);
    auto* title = named(new QLabel("Verify the invitee", this), "verifyGrant.title", "Verify the invitee");
    VaelFont::apply(title, TextStyle::title3, QFont::DemiBold);
    title->setAlignment(Qt::AlignCenter);
    stack->addWidget(title);

    granted_ = statusLabel("checkmark.seal.fill", "Access granted", systemColor(SystemColor::green, palette()),
                           "verifyGrant.granted", this);
    stack->addWidget(granted_);
    loading_ = new BusySpinner(20, this);
    loading_->setObjectName("verifyGrant.loading");
    stack->addWidget(loading_, 0, Qt::AlignHCenter);

    form_ = new QWidget(this);
    auto* form = new QVBoxLayout(form_);
    form->setContentsMargins(0, 0, 0, 0);
    form->setSpacing(16);
    auto* instruction = named(new QLabel("Read this fingerprint back from the invitee over a trusted channel. It must "
                                         "match EXACTLY.", form_),
                              "verifyGrant.instruction", "Instruction");
    instruction->setWordWrap(true);
    instruction->setAlignment(Qt::AlignCenter);
    VaelFont::apply(instruction, TextStyle::caption);
    form->addWidget(instruction);
    fingerprint_ = fingerprintBox("verifyGrant.fingerprint", form_);
    form->addWidget(fingerprint_);
    typed_ = named(new QLineEdit(form_), "verifyGrant.typed", "Type the fingerprint they read");
    typed_->setPlaceholderText("Type the fingerprint they read");
    typed_->setFont(VaelFont::secretSmall());
    connect(typed_, &QLineEdit::textChanged, this, [this](const QString& text) { vm_->setTypedFingerprint(text.toStdString()); });
    form->addWidget(typed_);
    folders_ = new QVBoxLayout;
    form->addLayout(folders_);
    stack->addWidget(form_);

    error_ = errorBar(std::nullopt, this);
    stack->addWidget(error_);

    auto* buttons = new QHBoxLayout;
    cancel_ = named(new QPushButton("Cancel", this), "verifyGrant.cancel", "Cancel");
    cancel_->setAutoDefault(false);  // Return must never throw away the typed fingerprint
    // A grant already sent runs to its end: the task holds the model, never this sheet.
    connect(cancel_, &QPushButton::clicked, this, &VerifyGrantSheet::reject);
    buttons->addWidget(cancel_);
    buttons->addStretch(1);
    grant_ = vaelPrimaryButton(named(new QPushButton("Grant Access", this), "verifyGrant.grant", "Grant Access"));
    grant_->setAutoDefault(false);  // the sheet has no Return action
    granting_ = spinnerInButton(grant_);
    granting_->setObjectName("verifyGrant.granting");
    connect(grant_, &QPushButton::clicked, this, [vm = vm_] { vm->confirmAndGrant(); });
    buttons->addWidget(grant_);
    stack->addLayout(buttons);

    connect(vm_.get(), &VerifyGrantViewModel::stateChanged, this, [this] {
        if (vm_->state() == State::granted && onGranted_) onGranted_();
        refresh();
    });
    for (auto signal : {&VerifyGrantViewModel::derivedFingerprintChanged, &VerifyGrantViewModel::grantableCollectionsChanged,
                        &VerifyGrantViewModel::typedFingerprintChanged, &VerifyGrantViewModel::selectedCollectionIDsChanged,
                        &VerifyGrantViewModel::errorMessageChanged})
        connect(vm_.get(), signal, this, &VerifyGrantSheet::refresh);
    refresh();
}

void VerifyGrantSheet::reject() {
    if (vm_->state() == State::granted && onGranted_) onGranted_();
    Sheet::reject();
}

void VerifyGrantSheet::refresh() {
    const auto state = vm_->state();
    granted_->setVisible(state == State::granted);
    loading_->setVisible(state == State::loading);
    form_->setVisible(state == State::ready || state == State::granting || state == State::error);
    fingerprint_->setText(QString::fromStdString(vm_->derivedFingerprint()));
    // One checkbox per grantable folder, rebuilt when the list changes.
    const auto& ids = vm_->grantableCollections();
    if (folders_->count() != static_cast<int>(ids.size())) {
        while (auto* item = folders_->takeAt(0)) {
            delete item->widget();
            delete item;
        }
        for (const auto& id : ids) {
            const auto name = shortName(context_.folderName(id));
            auto* toggle = named(new QCheckBox(withoutMnemonic(name), form_),
                                 "verifyGrant.folder." + QString::fromStdString(id.text()), name);
            connect(toggle, &QCheckBox::toggled, this, [this, id](bool on) { vm_->setCollectionSelected(id, on); });
            folders_->addWidget(toggle);
        }
    }
    for (int i = 0; i < folders_->count(); ++i) {
        auto* toggle = static_cast<QCheckBox*>(folders_->itemAt(i)->widget());
        const QSignalBlocker quiet(toggle);
        toggle->setChecked(vm_->selectedCollectionIDs().contains(ids[static_cast<std::size_t>(i)]));
    }
    error_->setMessage(vm_->errorMessage());
    cancel_->setText(state == State::granted ? "Done" : "Cancel");
    cancel_->setAccessibleName(cancel_->text());
    grant_->setVisible(state != State::granted);
    grant_->setEnabled(vm_->fingerprintMatches() && state != State::granting);
    granting_->setVisible(state == State::granting);
    adjustSize();
}

}  // namespace vael
