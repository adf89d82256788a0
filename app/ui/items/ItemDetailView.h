#pragma once

#include <QPointer>
#include <QScrollArea>

#include <functional>
#include <optional>
#include <string>

#include <qcoro/qcorotask.h>

#include "app/model/items/ItemDetailViewModel.h"
#include "app/model/ModelTime.h"
#include "core/Clock.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace vael {

class ElidedLabel;

// The selected item: header (icon, name, tier, "Copy for AI"), its fields with reveal and copy,
// live one-time codes, the website with its exact-host switch, and the item's agent reference.
// The window makes one pane per item and hands it a new model at each reload of that item.
class ItemDetailView : public QScrollArea {
    Q_OBJECT

public:
    // Saves the website (absent when the field is empty; as typed otherwise) and the exact-host flag.
    // A failure is raised to the pane, which shows it.
    using WebsiteSave = std::function<QCoro::Task<>(std::optional<std::string>, bool)>;

    static constexpr int kMaxColumnWidth = 560;

    // The pane takes `vm` over (it becomes its parent). `collection` is the item's group name, for its
    // reference; an empty `onWebsiteSave` offers no Save button. Codes tick on `timers` with the date
    // of `clock`.
    ItemDetailView(ItemDetailViewModel* vm, std::string aiAccess, WebsiteSave onWebsiteSave,
                   std::string collection, TimerSource& timers, const Clock& clock, QWidget* parent = nullptr);

    // Overwrites revealed values: the pane's labels and accessible names, then the model's copy.
    ~ItemDetailView() override;

    // A new model for the same item (after a reload): the fields follow it, the website's text, switch,
    // saved mark and error stay. The old model's values are forgotten.
    void setViewModel(ItemDetailViewModel* vm);
    // The item's tier or group changed (a move, a sync, an agent's write): the header, the reference
    // and the hand-off text follow; fields and website stay as they are.
    void setPlacement(std::string aiAccess, std::string collection);
    const std::string& aiAccess() const { return aiAccess_; }
    const std::string& collection() const { return collection_; }
    // The vault locked: every value leaves the pane and its model now, not when the pane goes.
    void forgetValues();
    ItemDetailViewModel* viewModel() const { return vm_; }

    // vael://<group>/<item>/<first field's label>, each part percent-encoded.
    QString reference() const;
    bool websiteDirty() const;
    bool websiteSaved() const { return websiteSaved_; }
    const std::optional<std::string>& websiteError() const { return websiteError_; }
    // What the Save button starts; never raises.
    QCoro::Task<> saveWebsite();

private:
    void buildItem();
    void replaceCard(QWidget*& old, QWidget* fresh);
    QWidget* buildHeader();
    QWidget* buildFieldsCard();
    QWidget* buildWebsiteCard();
    QWidget* buildReferenceCard();
    void refreshWebsite();
    QWidget* card(const QString& title, QWidget* surface, QWidget* caption = nullptr);

    QPointer<ItemDetailViewModel> vm_;
    std::string aiAccess_;
    WebsiteSave onWebsiteSave_;
    std::string collection_;
    TimerSource& timers_;
    const Clock& clock_;

    QVBoxLayout* column_;
    QWidget* header_ = nullptr;
    QWidget* fields_ = nullptr;
    QWidget* reference_ = nullptr;

    QLineEdit* website_ = nullptr;
    QCheckBox* strictMatch_ = nullptr;
    QPushButton* save_ = nullptr;
    QLabel* savedMark_ = nullptr;
    QLabel* websiteCaption_ = nullptr;
    bool websiteSaved_ = false;
    std::optional<std::string> websiteError_;
};

}  // namespace vael
