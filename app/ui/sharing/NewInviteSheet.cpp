#include "app/ui/sharing/NewInviteSheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/ui/widgets/BusySpinner.h"
#include "app/ui/widgets/CopyButton.h"
#include "app/ui/widgets/DisplayText.h"
#include "app/ui/widgets/SheetParts.h"
#include "app/ui/widgets/GroupedSurface.h"
#include "app/ui/design/VaelComponents.h"
#include "app/ui/design/VaelTheme.h"
#include "app/ui/sharing/SharingWidgets.h"

namespace vael {

// The link shows its beginning and end; the copy button copies all of it.
class ElidedLinkLabel : public QLabel {
public:
    using QLabel::QLabel;
    void setFullText(const QString& text) {
        full_ = text;
        setToolTip(plainToolTip(text));
        elide();
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        elide();
    }

private:
    void elide() { setText(fontMetrics().elidedText(full_, Qt::ElideMiddle, std::max(40, width()))); }
    QString full_;
};

NewInviteSheet::NewInviteSheet(std::shared_ptr<NewInviteViewModel> vm, TimerSource& timers, QWidget* parent)
    : Sheet(parent, "New Invite"), vm_(std::move(vm)) {
    setObjectName("newInviteSheet");
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);

    auto* title = named(new QLabel("New Invite", this), "newInvite.title", "New Invite");
    VaelFont::apply(title, TextStyle::title3, QFont::DemiBold);
    auto* titleRow = new QHBoxLayout;
    titleRow->setContentsMargins(16, 16, 16, 16);
    titleRow->addWidget(title);
    stack->addLayout(titleRow);

    auto* form = new QVBoxLayout;
    form->setContentsMargins(16, 0, 16, 0);
    auto* roleRow = new QFormLayout;
    roleRow->setHorizontalSpacing(12);
    auto* role = named(new QComboBox(this), "newInvite.role", "Role");
    for (const auto& name : vm_->assignableRoles()) role->addItem(QString::fromStdString(name));
    role->setCurrentText(QString::fromStdString(vm_->role()));
    connect(role, &QComboBox::currentTextChanged, this, [this](const QString& text) { vm_->setRole(text.toStdString()); });
    roleRow->addRow("Role", role);
    form->addLayout(roleRow);

    auto* folders = named(new QGroupBox("Folders", this), "newInvite.folders", "Folders");
    auto* folderList = new QVBoxLayout(folders);
    for (const auto& folder : vm_->folders()) {
        const auto name = shortName(folder.name);
        auto* toggle = named(new QCheckBox(withoutMnemonic(name), folders), "newInvite.folder." + QString::fromStdString(folder.id.text()), name);
        const auto id = folder.id;
        connect(toggle, &QCheckBox::toggled, this, [this, id](bool on) { vm_->setFolderSelected(id, on); });
        folderList->addWidget(toggle);
    }
    form->addWidget(folders);

    auto* delivery = named(new QGroupBox("Delivery", this), "newInvite.delivery", "Delivery");
    auto* deliveryForm = new QVBoxLayout(delivery);
    auto* email = named(new QLineEdit(delivery), "newInvite.email", "Email (optional)");
    email->setPlaceholderText("Email (optional)");
    connect(email, &QLineEdit::textChanged, this, [this](const QString& text) { vm_->setEmail(text.toStdString()); });
    deliveryForm->addWidget(email);
    expiry_ = named(new QSpinBox(delivery), "newInvite.expiry", "Expires in");
    expiry_->setRange(1, 168);
    expiry_->setValue(static_cast<int>(vm_->ttlHours()));
    expiry_->setPrefix("Expires in ");
    expiry_->setSuffix(" h");
    connect(expiry_, &QSpinBox::valueChanged, this, [this](int hours) { vm_->setTTLHours(hours); });
    deliveryForm->addWidget(expiry_);
    form->addWidget(delivery);

    linkSection_ = named(new QGroupBox("Invite link", this), "newInvite.linkSection", "Invite link");
    auto* linkRow = new QHBoxLayout(linkSection_);
    auto* link = new ElidedLinkLabel(linkSection_);
    link_ = named(link, "newInvite.link", "Invite link");
    link_->setTextFormat(Qt::PlainText);
    link_->setFont(VaelFont::secretSmall());
    link_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The link is shortened to the room it gets; its length never widens the sheet.
    link_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    linkRow->addWidget(link_, 1);
    linkRow->addWidget(named(new CopyButton("Copy", [this] { return QString::fromStdString(vm_->inviteLink().value_or("")); },
                                            timers, linkSection_),
                             "newInvite.copyLink", "Copy"));
    form->addWidget(linkSection_);
    form->addStretch(1);
    stack->addLayout(form, 1);
    keepOutlines();

    auto* divider = new SheetDivider(this);
    stack->addWidget(divider);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(16, 16, 16, 16);
    auto* close = named(new QPushButton("Close", this), "newInvite.close", "Close");
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    bar->addWidget(close);
    bar->addStretch(1);
    create_ = vaelPrimaryButton(named(new QPushButton("Create Invite", this), "newInvite.create", "Create Invite"));
    create_->setAutoDefault(false);  // no Return action: an invite is made only by pressing this
    spinner_ = spinnerInButton(create_);
    spinner_->setObjectName("newInvite.spinner");
    connect(create_, &QPushButton::clicked, this, [vm = vm_] { vm->create(); });
    bar->addWidget(create_);
    stack->addLayout(bar);

    error_ = errorBar(std::nullopt, this);
    stack->addWidget(error_);
    stack->addSpacing(8);

    for (auto signal : {&NewInviteViewModel::roleChanged, &NewInviteViewModel::busyChanged,
                        &NewInviteViewModel::createdChanged, &NewInviteViewModel::errorMessageChanged,
                        &NewInviteViewModel::ttlHoursChanged})
        connect(vm_.get(), signal, this, &NewInviteSheet::refresh);
    refresh();
}

// Under a dark theme the check boxes and fields in the sections keep a visible outline.
void NewInviteSheet::keepOutlines() {
    for (auto* section : findChildren<QGroupBox*>()) keepControlOutlinesVisible(section);
}

void NewInviteSheet::changeEvent(QEvent* event) {
    Sheet::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) keepOutlines();
}

void NewInviteSheet::refresh() {
    if (expiry_->value() != vm_->ttlHours()) expiry_->setValue(static_cast<int>(vm_->ttlHours()));
    const auto link = vm_->inviteLink();
    linkSection_->setVisible(link.has_value());
    if (link) static_cast<ElidedLinkLabel*>(link_)->setFullText(QString::fromStdString(*link));
    create_->setVisible(!link);
    create_->setEnabled(vm_->canCreate());
    spinner_->setVisible(vm_->busy() && !link);
    error_->setMessage(vm_->errorMessage());
    fitDesignedSize({kWidth, kHeight});
}

}  // namespace vael
