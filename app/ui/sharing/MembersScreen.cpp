#include "app/ui/sharing/MembersScreen.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/model/sharing/NewInviteViewModel.h"
#include "app/model/sharing/VerifyGrantViewModel.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelComponents.h"
#include "app/ui/design/VaelTheme.h"
#include "app/ui/sharing/AddExistingMemberSheet.h"
#include "app/ui/sharing/NewInviteSheet.h"
#include "app/ui/sharing/SharingWidgets.h"
#include "app/ui/sharing/VerifyGrantSheet.h"
#include "app/ui/widgets/DisplayText.h"

namespace vael {

namespace {

QCoro::Task<> reloadAll(std::shared_ptr<MembersViewModel> members, std::shared_ptr<InvitesModel> invites);

QWidget* twoLines(const QString& first, const QFont& firstFont, const QString& second, const QString& objectName,
                  QWidget* parent) {
    auto* box = new QWidget(parent);
    box->setObjectName(objectName);
    box->setAccessibleName(first);
    auto* lines = new QVBoxLayout(box);
    lines->setContentsMargins(0, 2, 0, 2);
    lines->setSpacing(1);
    auto* top = new QLabel(first, box);
    top->setTextFormat(Qt::PlainText);
    top->setFont(firstFont);
    auto* bottom = new QLabel(second, box);
    bottom->setTextFormat(Qt::PlainText);
    VaelFont::apply(bottom, TextStyle::caption);
    QPalette palette = bottom->palette();
    palette.setColor(QPalette::WindowText, VaelTheme::secondaryText(palette));
    bottom->setPalette(palette);
    lines->addWidget(top);
    lines->addWidget(bottom);
    return box;
}

}  // namespace

MembersScreen::MembersScreen(SharingContext context, TimerSource& timers, QWidget* parent)
    : Sheet(parent, "Sharing"),
      context_(std::move(context)),
      timers_(timers),
      members_(std::make_shared<MembersViewModel>(context_.api, context_.orgID)),
      invites_(std::make_shared<InvitesModel>(context_.api, context_.orgID)) {
    setObjectName("membersScreen");
    resize(560, 480);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 8);
    stack->setSpacing(0);

    toolbar_ = new QToolBar(this);
    toolbar_->setObjectName("members.toolbar");
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    auto* spacer = new QWidget(toolbar_);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar_->addWidget(spacer);
    auto* addUser = toolbar_->addAction(SymbolCatalog::icon("person.badge.plus", palette().color(QPalette::ButtonText)),
                                        "Add User", this, &MembersScreen::openAddExisting);
    addUser->setObjectName("members.addUser");
    toolbar_->widgetForAction(addUser)->setObjectName("members.addUser");
    toolbar_->widgetForAction(addUser)->setAccessibleName("Add User");
    auto* invite = vaelPrimaryButton(named(new QPushButton("Invite", toolbar_), "members.invite", "Invite"));
    invite->setIcon(SymbolCatalog::icon("envelope", Qt::white));
    invite->setAutoDefault(false);
    connect(invite, &QPushButton::clicked, this, &MembersScreen::openNewInvite);
    toolbar_->addWidget(invite);
    stack->addWidget(toolbar_);

    tree_ = named(new QTreeWidget(this), "members.list", "Members and invites");
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    tree_->setRootIsDecorated(false);
    tree_->setSelectionMode(QAbstractItemView::NoSelection);
    tree_->setFocusPolicy(Qt::TabFocus);
    stack->addWidget(tree_, 1);

    error_ = errorBar(std::nullopt, this);
    stack->addWidget(error_);

    connect(members_.get(), &MembersViewModel::membersChanged, this, &MembersScreen::rebuild);
    connect(invites_.get(), &InvitesModel::invitesChanged, this, &MembersScreen::rebuild);
    connect(members_.get(), &MembersViewModel::errorMessageChanged, this, &MembersScreen::showErrors);
    connect(invites_.get(), &InvitesModel::errorMessageChanged, this, &MembersScreen::showErrors);
    rebuild();
}

void MembersScreen::showEvent(QShowEvent* event) {
    Sheet::showEvent(event);
    if (loadedOnce_) return;
    loadedOnce_ = true;
    reload();
}

namespace {
QCoro::Task<> reloadAll(std::shared_ptr<MembersViewModel> members, std::shared_ptr<InvitesModel> invites) {
    co_await members->load();
    co_await invites->reload();
}
}  // namespace

void MembersScreen::reload() { reloadAll(members_, invites_); }

void MembersScreen::showErrors() {
    // The members' sentence first, then the invites'.
    std::optional<std::string> text = members_->errorMessage();
    if (const auto& invites = invites_->errorMessage()) text = text ? *text + " " + *invites : *invites;
    error_->setMessage(text);
}

void MembersScreen::rebuild() {
    tree_->clear();
    auto* membersHeader = new QTreeWidgetItem(tree_, {"Members"});
    membersHeader->setFlags(Qt::ItemIsEnabled);
    QFont headerFont = VaelFont::style(TextStyle::headline, QFont::DemiBold);
    membersHeader->setFont(0, headerFont);
    for (const auto& member : members_->members()) {
        auto* item = new QTreeWidgetItem(membersHeader);
        auto* row = new QWidget(tree_);
        const auto id = QString::fromStdString(member.accountId.text());
        row->setObjectName("members.member." + id);
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(4, 2, 4, 2);
        // The server's texts: one line each, plain, and "&" no mnemonic on the button.
        const auto role = shortName(member.role);
        line->addWidget(twoLines(displayName(member.fingerprint), VaelFont::secretSmall(), role,
                                 "members.memberText." + id, row),
                        1);
        auto* roleButton = named(new QToolButton(row), "members.role." + id, "Role");
        roleButton->setText(withoutMnemonic(role));
        roleButton->setPopupMode(QToolButton::InstantPopup);
        auto* menu = new QMenu(roleButton);
        for (const auto& role : MembersViewModel::assignableRoles()) {
            const auto accountId = member.accountId;
            menu->addAction(withoutMnemonic(shortName(role)),
                            [model = members_, accountId, role] { model->setRole(accountId, role); });
        }
        roleButton->setMenu(menu);
        line->addWidget(roleButton);
        auto* remove = named(new QToolButton(row), "members.remove." + id, "Remove member");
        remove->setIcon(SymbolCatalog::icon("person.badge.minus", systemColor(SystemColor::red, palette())));
        remove->setAutoRaise(true);
        remove->setToolTip("Remove member");
        connect(remove, &QToolButton::clicked, this,
                [model = members_, accountId = member.accountId] { model->remove(accountId); });
        line->addWidget(remove);
        tree_->setItemWidget(item, 0, row);
    }

    auto* invitesHeader = new QTreeWidgetItem(tree_, {"Invites"});
    invitesHeader->setFlags(Qt::ItemIsEnabled);
    invitesHeader->setFont(0, headerFont);
    if (invites_->invites().empty()) {
        auto* empty = new QTreeWidgetItem(invitesHeader, {"No invites yet"});
        empty->setForeground(0, VaelTheme::secondaryText(palette()));
        empty->setData(0, Qt::AccessibleTextRole, "No invites yet");
    }
    for (const auto& invite : invites_->invites()) {
        auto* item = new QTreeWidgetItem(invitesHeader);
        auto* row = new QWidget(tree_);
        const auto id = QString::fromStdString(invite.id);
        row->setObjectName("members.invite." + id);
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(4, 2, 4, 2);
        const auto title = shortName(invite.recipient.value_or(invite.role));
        line->addWidget(twoLines(title, VaelFont::style(TextStyle::body), shortName(invite.status),
                                 "members.inviteText." + id, row),
                        1);
        if (invite.status == "claimed") {
            auto* verify = vaelPrimaryButton(named(new QPushButton("Verify && grant", row), "members.verify." + id, "Verify & grant"));
            verify->setAutoDefault(false);
            verify->setMinimumHeight(0);
            verify->setFont(VaelFont::style(TextStyle::callout));
            connect(verify, &QPushButton::clicked, this, [this, inviteID = invite.id] { openVerifyGrant(inviteID); });
            line->addWidget(verify);
        } else if (invite.status == "pending") {
            auto* revoke = named(new QPushButton("Revoke", row), "members.revoke." + id, "Revoke");
            revoke->setFlat(true);
            revoke->setAutoDefault(false);
            QPalette red = revoke->palette();
            red.setColor(QPalette::ButtonText, systemColor(SystemColor::red, red));
            revoke->setPalette(red);
            connect(revoke, &QPushButton::clicked, this, [model = invites_, inviteID = invite.id] { model->revoke(inviteID); });
            line->addWidget(revoke);
        }
        tree_->setItemWidget(item, 0, row);
    }
    tree_->expandAll();
}

void MembersScreen::openNewInvite() {
    auto vm = std::make_shared<NewInviteViewModel>(context_.api, context_.orgID, context_.publicBaseURL,
                                                   context_.callerRole, context_.orgLabel, context_.inviterLabel,
                                                   context_.folders);
    auto* sheet = new NewInviteSheet(vm, timers_, this);
    connect(sheet, &QDialog::finished, this, [model = invites_] { model->reload(); });
    sheet->open();
}

void MembersScreen::openAddExisting() {
    auto* sheet = new AddExistingMemberSheet(context_, this);
    connect(sheet, &QDialog::finished, this, [model = members_] { model->load(); });
    sheet->open();
}

void MembersScreen::openVerifyGrant(const std::string& inviteID) {
    auto vm = std::make_shared<VerifyGrantViewModel>(context_.api, context_.vault, context_.trustStore, context_.orgID,
                                                     inviteID, context_.collectionKeys, 0);
    QPointer<MembersScreen> self(this);
    auto* sheet = new VerifyGrantSheet(context_, vm, [self] {
        if (self) self->reload();
    }, this);
    sheet->open();
    vm->load();
}

}  // namespace vael
