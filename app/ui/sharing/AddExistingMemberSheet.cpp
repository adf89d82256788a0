#include "app/ui/sharing/AddExistingMemberSheet.h"
#include "app/ui/widgets/DisplayText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/model/sharing/MembersViewModel.h"
#include "app/ui/design/VaelComponents.h"
#include "app/ui/design/VaelTheme.h"
#include "app/ui/sharing/SharingWidgets.h"

namespace vael {

using State = AddExistingMemberViewModel::State;

AddExistingMemberSheet::AddExistingMemberSheet(SharingContext context, QWidget* parent)
    : Sheet(parent, "Add an existing user", 460),
      context_(std::move(context)),
      vm_(std::make_shared<AddExistingMemberViewModel>(context_.api, context_.vault, context_.trustStore,
                                                       context_.orgID, context_.collectionKeys)) {
    setObjectName("addExistingMemberSheet");
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(16);
    auto* title = named(new QLabel("Add an existing user", this), "addMember.title", "Add an existing user");
    VaelFont::apply(title, TextStyle::title3, QFont::DemiBold);
    title->setAlignment(Qt::AlignCenter);
    stack->addWidget(title);

    auto* handleRow = new QHBoxLayout;
    handle_ = named(new QLineEdit(this), "addMember.handle", "Handle");
    handle_->setPlaceholderText("Handle");
    handleRow->addWidget(handle_, 1);
    auto* lookup = named(new QPushButton("Look up", this), "addMember.lookup", "Look up");
    lookup->setAutoDefault(false);
    connect(lookup, &QPushButton::clicked, this, [this] { vm_->lookup(handle_->text().toStdString()); });
    handleRow->addWidget(lookup);
    stack->addLayout(handleRow);

    found_ = new QWidget(this);
    found_->setObjectName("addMember.found");
    auto* found = new QVBoxLayout(found_);
    found->setContentsMargins(0, 0, 0, 0);
    found->setSpacing(12);
    fingerprint_ = fingerprintBox("addMember.fingerprint", found_);
    found->addWidget(fingerprint_);
    verified_ = statusLabel("checkmark.shield.fill", "Key matches your pinned fingerprint",
                            systemColor(SystemColor::green, palette()), "addMember.verified", found_);
    found->addWidget(verified_);
    typed_ = named(new QLineEdit(found_), "addMember.typed", "Type the fingerprint they read");
    typed_->setPlaceholderText("Type the fingerprint they read");
    typed_->setFont(VaelFont::secretSmall());
    connect(typed_, &QLineEdit::textChanged, this, [this](const QString& text) { vm_->setTypedFingerprint(text.toStdString()); });
    found->addWidget(typed_);
    auto* roleRow = new QFormLayout;
    role_ = named(new QComboBox(found_), "addMember.role", "Role");
    for (const auto& name : MembersViewModel::assignableRoles()) role_->addItem(QString::fromStdString(name));
    role_->setCurrentText(QString::fromStdString(vm_->role()));
    connect(role_, &QComboBox::currentTextChanged, this, [this](const QString& text) { vm_->setRole(text.toStdString()); });
    roleRow->addRow("Role", role_);
    found->addLayout(roleRow);
    for (const auto& folder : context_.folders) {
        const auto name = shortName(folder.name);
        auto* toggle = named(new QCheckBox(withoutMnemonic(name), found_), "addMember.folder." + QString::fromStdString(folder.id.text()), name);
        const auto id = folder.id;
        connect(toggle, &QCheckBox::toggled, this, [this, id](bool on) { vm_->setCollectionSelected(id, on); });
        found->addWidget(toggle);
    }
    stack->addWidget(found_);

    error_ = errorBar(std::nullopt, this);
    stack->addWidget(error_);

    auto* buttons = new QHBoxLayout;
    cancel_ = named(new QPushButton("Cancel", this), "addMember.cancel", "Cancel");
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(cancel_);
    buttons->addStretch(1);
    added_ = statusLabel("checkmark.seal.fill", "Added", systemColor(SystemColor::green, palette()), "addMember.added", this);
    buttons->addWidget(added_);
    add_ = vaelPrimaryButton(named(new QPushButton("Add Member", this), "addMember.add", "Add Member"));
    add_->setAutoDefault(false);
    connect(add_, &QPushButton::clicked, this, [vm = vm_] { vm->grant(); });
    buttons->addWidget(add_);
    stack->addLayout(buttons);

    for (auto signal : {&AddExistingMemberViewModel::stateChanged, &AddExistingMemberViewModel::accountChanged,
                        &AddExistingMemberViewModel::autoVerifiedChanged, &AddExistingMemberViewModel::typedFingerprintChanged,
                        &AddExistingMemberViewModel::selectedCollectionIDsChanged,
                        &AddExistingMemberViewModel::errorMessageChanged})
        connect(vm_.get(), signal, this, &AddExistingMemberSheet::refresh);
    refresh();
}

void AddExistingMemberSheet::refresh() {
    const auto state = vm_->state();
    found_->setVisible(state == State::found || state == State::granting || state == State::granted);
    fingerprint_->setText(QString::fromStdString(vm_->derivedFingerprint()));
    verified_->setVisible(vm_->autoVerified());
    typed_->setVisible(!vm_->autoVerified());
    error_->setMessage(vm_->errorMessage());
    cancel_->setText(state == State::granted ? "Done" : "Cancel");
    cancel_->setAccessibleName(cancel_->text());
    added_->setVisible(state == State::granted);
    add_->setVisible(state != State::granted);
    add_->setEnabled(vm_->canGrant() && state != State::granting);
    adjustSize();
}

}  // namespace vael
