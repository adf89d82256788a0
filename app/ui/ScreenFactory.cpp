#include "app/ui/ScreenFactory.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/AddItemSheet.h"
#include "app/ui/EmptyStateView.h"
#include "app/ui/Sheet.h"
#include "app/ui/StructureEditSheet.h"

namespace vael {

namespace {

// Where a screen is not in this build yet: says so, and offers nothing that could lose data.
QWidget* standInPage(const std::string& symbol, const QString& title, const char* objectName) {
    auto* page = new EmptyStateView(symbol, title, "This screen is not part of this build yet.");
    page->setObjectName(objectName);
    page->setAccessibleName(title);
    return page;
}

QDialog* standInSheet(QWidget* parent, const QString& title, const char* objectName) {
    auto* sheet = new Sheet(parent, title, 380);
    sheet->setObjectName(objectName);
    auto* layout = new QVBoxLayout(sheet);
    auto* text = new QLabel("This screen is not part of this build yet.", sheet);
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, sheet);
    buttons->button(QDialogButtonBox::Close)->setObjectName("standInClose");
    buttons->button(QDialogButtonBox::Close)->setAccessibleName("Close");
    QObject::connect(buttons, &QDialogButtonBox::rejected, sheet, &QDialog::reject);
    layout->addWidget(buttons);
    return sheet;
}

}  // namespace

QWidget* ScreenFactory::onboarding() { return standInPage("key.fill", "Create your vault", "onboardingStandIn"); }

QWidget* ScreenFactory::unlock() { return standInPage("lock.fill", "Vael is locked", "unlockStandIn"); }

QWidget* ScreenFactory::inviteAccept() { return standInPage("person.2.fill", "Join a shared vault", "inviteStandIn"); }

QWidget* ScreenFactory::settings() { return standInPage("gearshape", "Settings", "settingsStandIn"); }

QWidget* ScreenFactory::detail(const ItemPayload& payload, const std::string&, WebsiteSave, const std::string&) {
    auto* page = new QWidget;
    page->setObjectName("detailStandIn");
    auto* layout = new QVBoxLayout(page);
    auto* name = new QLabel(QString::fromStdString(payload.name), page);
    name->setObjectName("detailName");
    name->setTextFormat(Qt::PlainText);
    name->setAccessibleName(name->text());
    layout->addWidget(name);
    layout->addStretch(1);
    return page;
}

bool ScreenFactory::reloadDetail(QWidget*, const ItemPayload&) { return false; }

bool ScreenFactory::updateCodes(QWidget*, const std::vector<AppModel::CodeRow>&, std::optional<Uuid>) { return false; }

QWidget* ScreenFactory::codesList(const std::vector<AppModel::CodeRow>& codes, std::optional<Uuid> selection,
                                  OnCodeSelected onSelected) {
    if (codes.empty())
        return standInPage("timer", "No codes yet", "codesStandIn");
    auto* list = new QListWidget;
    list->setObjectName("codesStandIn");
    list->setAccessibleName("Codes");
    for (const auto& code : codes) {
        auto* row = new QListWidgetItem(QString::fromStdString(code.name), list);
        row->setData(Qt::UserRole, QString::fromStdString(code.id.text()));
        if (selection == code.id) list->setCurrentItem(row);
    }
    QObject::connect(list, &QListWidget::currentItemChanged, list, [onSelected](QListWidgetItem* row) {
        onSelected(row ? Uuid::parse(row->data(Qt::UserRole).toString().toStdString()) : std::nullopt);
    });
    return list;
}

QWidget* ScreenFactory::trayCodes() { return standInPage("timer", "Vael Codes", "trayCodesStandIn"); }

QDialog* ScreenFactory::addItem(std::optional<AppModel::ProjectNode> project, OnAdded onAdded, QWidget* parent) {
    return new AddItemSheet(app_, std::move(project), std::move(onAdded), parent);
}

QDialog* ScreenFactory::structure(const StructureSheet& request, QWidget* parent) {
    return new StructureEditSheet(request, app_, parent);
}

QDialog* ScreenFactory::connectAccount(QWidget* parent) { return standInSheet(parent, "Connect", "connectStandIn"); }

QDialog* ScreenFactory::addCode(std::optional<AppModel::ItemRow>, OnAdded, QWidget* parent) {
    return standInSheet(parent, "Add 2FA Code", "addCodeStandIn");
}

QDialog* ScreenFactory::sshKey(QWidget* parent) { return standInSheet(parent, "New SSH Key", "sshKeyStandIn"); }

QDialog* ScreenFactory::importPasswords(QWidget* parent) {
    return standInSheet(parent, "Import Passwords", "importStandIn");
}

QDialog* ScreenFactory::members(QWidget* parent) { return standInSheet(parent, "Sharing", "membersStandIn"); }

QDialog* ScreenFactory::capture(const LiveCredentialCapturePresenter::Pending& request, QWidget* parent) {
    auto* sheet = standInSheet(parent, "Save a credential", "captureStandIn");
    // Dismissal answers this request with nothing, and only this one.
    QPointer<LiveCredentialCapturePresenter> presenter(app().liveCapture().get());
    QObject::connect(sheet, &QDialog::finished, sheet, [presenter, id = request.id] {
        if (presenter && presenter->pending() && presenter->pending()->id == id) presenter->cancel();
    });
    return sheet;
}

}  // namespace vael
