#include "app/ui/window/AddItemSheet.h"

#include <algorithm>

#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/ui/widgets/SheetParts.h"
#include "app/ui/widgets/BusySpinner.h"
#include "app/ui/widgets/ErrorLabel.h"
#include "app/ui/widgets/FormSection.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelComponents.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {

namespace {

constexpr int kGlyphSize = 34;
constexpr int kDraftLabelWidth = 110;
constexpr int kCaptionIcon = 14;

QString qs(const std::string& text) { return QString::fromStdString(text); }

// Shows the model's value unless the field already holds it, so typing is never disturbed.
void showText(QLineEdit* field, const std::string& value) {
    const auto text = qs(value);
    if (field->text() != text) field->setText(text);
}

QLabel* captionLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    VaelFont::apply(label, TextStyle::caption);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, VaelTheme::secondaryText(parent->palette()));
    label->setPalette(palette);
    return label;
}

}  // namespace

AddItemSheet::AddItemSheet(AppModel& app, std::optional<AppModel::ProjectNode> project,
                           AddItemSheetModel::OnAdded onAdded, QWidget* parent)
    : Sheet(parent, "New Item", AddItemSheetModel::kWidth),
      model_(new AddItemSheetModel(app, std::move(project), std::move(onAdded), this)) {
    setObjectName("addItem");
    setAccessibleName("New Item");

    auto* form = new QWidget;
    auto* sections = new QVBoxLayout(form);
    sections->setContentsMargins(16, 4, 16, 8);
    sections->setSpacing(10);
    sections->addWidget(buildSmartPaste());
    sections->addWidget(buildDetails());
    if (model_->project()) sections->addWidget(buildLocation());
    sections->addWidget(buildAccess());
    sections->addStretch(1);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName("addItem.form");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab goes through the controls inside, never to the unnamed frame around them.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidget(form);

    auto* divider = new SheetDivider(this);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(buildTitle());
    column->addWidget(scroll, 1);
    column->addWidget(divider);
    column->addWidget(buildFooter());

    connect(model_, &AddItemSheetModel::nameChanged, this, [this] { showText(name_, model_->name()); });
    connect(model_, &AddItemSheetModel::draftURLChanged, this, [this] { showText(website_, model_->draftURL()); });
    connect(model_, &AddItemSheetModel::fieldLabelChanged, this, &AddItemSheet::followTier);
    connect(model_, &AddItemSheetModel::tierIDChanged, this, &AddItemSheet::followTier);
    connect(model_, &AddItemSheetModel::draftRowsChanged, this, &AddItemSheet::rebuildDraftRows);
    connect(model_, &AddItemSheetModel::draftFieldChanged, this, &AddItemSheet::showDraftField);
    for (auto signal : {&AddItemSheetModel::nameChanged, &AddItemSheetModel::valueChanged,
                        &AddItemSheetModel::busyChanged, &AddItemSheetModel::draftRowsChanged}) {
        connect(model_, signal, this, &AddItemSheet::followAddRule);
    }
    connect(model_, &AddItemSheetModel::draftFieldChanged, this, &AddItemSheet::followAddRule);
    connect(model_, &AddItemSheetModel::errorChanged, this, [this] { error_->setMessage(model_->error()); });
    connect(model_, &AddItemSheetModel::busyChanged, this, [this] { spinner_->setVisible(model_->busy()); });
    connect(model_, &AddItemSheetModel::added, this, &QDialog::accept);

    followMode();
    followTier();
    followAddRule();
    name_->setFocus();
}

QWidget* AddItemSheet::buildTitle() {
    auto* title = new QWidget(this);
    auto* row = new QHBoxLayout(title);
    row->setContentsMargins(16, 16, 16, 8);
    row->setSpacing(10);
    glyph_ = new ItemGlyph("lock.fill", TierStyle::humanGated().tint, kGlyphSize, title);
    glyph_->setObjectName("addItem.glyph");
    glyph_->setAccessibleName("Item symbol");
    auto* heading = new QLabel("New Item", title);
    heading->setObjectName("addItem.title");
    heading->setTextFormat(Qt::PlainText);
    VaelFont::apply(heading, TextStyle::title3, QFont::DemiBold);
    row->addWidget(glyph_);
    row->addWidget(heading);
    row->addStretch(1);
    return title;
}

QWidget* AddItemSheet::buildSmartPaste() {
    auto* section = new FormSection("Smart Paste", this);
    section->setObjectName("addItem.smartPasteSection");
    paste_ = new QPlainTextEdit(section);
    paste_->setObjectName("addItem.smartPaste");
    paste_->setAccessibleName("Smart Paste");
    paste_->setPlaceholderText("Paste keys, secrets, or a URL \u2014 fields fill themselves");
    paste_->setTabChangesFocus(true);
    section->form()->addRow(paste_);
    connect(paste_, &QPlainTextEdit::textChanged, this, [this] {
        fitPasteBox();
        model_->setPasteText(paste_->toPlainText().toStdString());
    });
    fitPasteBox();
    return section;
}

QLineEdit* AddItemSheet::addLineEdit(QFormLayout* form, const char* objectName, const QString& label) {
    auto* field = new QLineEdit;
    field->setObjectName(QString::fromLatin1(objectName));
    field->setAccessibleName(label);
    field->setPlaceholderText(label);
    // Room to read what is typed and the whole placeholder; a larger font widens the sheet rather
    // than the field shrinking.
    constexpr int kTextChrome = 24;  // frame, the style's margins and a little air
    field->setMinimumWidth(std::max(field->fontMetrics().averageCharWidth() * 16,
                                    field->fontMetrics().horizontalAdvance(label) + kTextChrome));
    form->addRow(label, field);
    return field;
}

QWidget* AddItemSheet::buildDetails() {
    // One form for both modes, so every label shares one column; the mode shows its own rows.
    auto* section = new FormSection("Details", this);
    section->setObjectName("addItem.detailsSection");
    details_ = section->form();
    name_ = addLineEdit(details_, "addItem.name", "Name");
    fieldLabel_ = addLineEdit(details_, "addItem.fieldLabel", "Field label");
    fieldLabel_->setText(qs(model_->fieldLabel()));
    username_ = addLineEdit(details_, "addItem.username", "Username or email (optional)");
    value_ = addLineEdit(details_, "addItem.value", "Secret value");
    value_->setEchoMode(QLineEdit::Password);
    website_ = addLineEdit(details_, "addItem.website", "Website (optional)");
    draft_ = new QWidget(section);
    draftRows_ = new QVBoxLayout(draft_);
    draftRows_->setContentsMargins(0, 0, 0, 0);
    draftRows_->setSpacing(6);
    details_->addRow(draft_);

    auto* model = model_;
    auto bind = [this, model](QLineEdit* field, void (AddItemSheetModel::*set)(std::string)) {
        connect(field, &QLineEdit::textEdited, this, [model, set](const QString& t) { (model->*set)(t.toStdString()); });
    };
    bind(name_, &AddItemSheetModel::setName);
    bind(fieldLabel_, &AddItemSheetModel::setFieldLabel);
    bind(username_, &AddItemSheetModel::setUsername);
    bind(value_, &AddItemSheetModel::setValue);
    bind(website_, &AddItemSheetModel::setDraftURL);
    return section;
}

QWidget* AddItemSheet::buildLocation() {
    auto* section = new FormSection("Location", this);
    section->setObjectName("addItem.locationSection");
    const auto groups = model_->sortedProjectGroups();
    if (groups.empty()) {
        auto* line = new QWidget(section);
        auto* row = new QHBoxLayout(line);
        row->setContentsMargins(0, 0, 0, 0);
        newFolderIcon_ = new QLabel(line);
        auto* caption = captionLabel(section);
        caption->setObjectName("addItem.newFolder");
        caption->setText("Saved to a new \u201CGeneral\u201D folder in " + qs(model_->project()->name));
        caption->setAccessibleName(caption->text());
        row->addWidget(newFolderIcon_, 0, Qt::AlignTop);
        row->addWidget(caption, 1);
        section->form()->addRow(line);
        return section;
    }
    folder_ = new QComboBox(section);
    folder_->setObjectName("addItem.folder");
    folder_->setAccessibleName("Folder");
    for (const auto& group : groups) folder_->addItem(qs(model_->groupPath(group)), qs(group.id.text()));
    folder_->setCurrentIndex(0);
    connect(folder_, &QComboBox::currentIndexChanged, this, [this](int index) {
        model_->setTargetGroupID(Uuid::parse(folder_->itemData(index).toString().toStdString()));
    });
    section->form()->addRow("Folder", folder_);
    return section;
}

QWidget* AddItemSheet::buildAccess() {
    auto* section = new FormSection("AI Access", this);
    section->setObjectName("addItem.accessSection");
    tiers_ = new TierChipPicker(qs(model_->tierID()), section);
    tiers_->setObjectName("addItem.tier");
    tiers_->setAccessibleName("AI access");
    connect(tiers_, &TierChipPicker::tierIDChanged, this, [this](const QString& id) { model_->setTierID(id.toStdString()); });
    auto* line = new QWidget(section);
    auto* row = new QHBoxLayout(line);
    row->setContentsMargins(0, 0, 0, 0);
    blurbIcon_ = new QLabel(line);
    blurb_ = captionLabel(section);
    blurb_->setObjectName("addItem.tierBlurb");
    row->addWidget(blurbIcon_, 0, Qt::AlignTop);
    row->addWidget(blurb_, 1);
    section->form()->addRow(tiers_);
    section->form()->addRow(line);
    return section;
}

QWidget* AddItemSheet::buildFooter() {
    auto* footer = new QWidget(this);
    auto* column = new QVBoxLayout(footer);
    column->setContentsMargins(16, 10, 16, 16);
    column->setSpacing(8);
    error_ = new ErrorLabel(footer);
    error_->setObjectName("addItem.error");
    column->addWidget(error_);

    auto* cancel = new QPushButton("Cancel", footer);
    cancel->setObjectName("addItem.cancel");
    cancel->setAccessibleName("Cancel");
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    // "Add Item" with the spinner inside its label while an add runs.
    add_ = vaelPrimaryButton(new QPushButton("Add Item", footer));
    add_->setObjectName("addItem.add");
    add_->setAccessibleName("Add Item");
    add_->setDefault(true);
    add_->setMinimumWidth(add_->fontMetrics().horizontalAdvance("Add Item") + 70);
    spinner_ = new BusySpinner(14, add_);
    spinner_->setObjectName("addItem.busy");
    spinner_->setAccessibleName("Adding");
    auto* inside = new QHBoxLayout(add_);
    inside->setContentsMargins(10, 0, 0, 0);
    inside->addWidget(spinner_, 0, Qt::AlignVCenter);
    inside->addStretch(1);
    spinner_->hide();
    connect(add_, &QPushButton::clicked, model_, &AddItemSheetModel::add);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cancel);
    buttons->addStretch(1);
    buttons->addWidget(add_);
    column->addLayout(buttons);
    return footer;
}

void AddItemSheet::rebuildDraftRows() {
    for (auto& [id, row] : rows_) delete row.row;
    rows_.clear();
    for (const auto& field : model_->draftFields()) {
        const Uuid id = field.id;
        auto* row = new QWidget(draft_);
        row->setObjectName("addItem.draftRow");
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(0, 0, 0, 0);
        line->setSpacing(6);
        auto* label = new QLineEdit(qs(field.label), row);
        label->setObjectName("addItem.draftLabel");
        label->setPlaceholderText("Label");
        label->setAccessibleName("Label");
        label->setFixedWidth(kDraftLabelWidth);
        auto* value = new QLineEdit(qs(field.value), row);
        value->setObjectName("addItem.draftValue");
        value->setPlaceholderText("Value");
        value->setAccessibleName("Value");
        auto* eye = new QToolButton(row);
        eye->setObjectName("addItem.draftReveal");
        eye->setAutoRaise(true);
        auto* remove = new QToolButton(row);
        remove->setObjectName("addItem.draftRemove");
        remove->setAutoRaise(true);
        remove->setAccessibleName("Remove field");
        remove->setToolTip("Remove field");
        line->addWidget(label);
        line->addWidget(value, 1);
        line->addWidget(eye);
        line->addWidget(remove);
        draftRows_->addWidget(row);
        rows_.emplace(id, DraftRow{row, label, value, eye, remove});

        connect(label, &QLineEdit::textEdited, this, [this, id](const QString& t) { model_->setDraftLabel(id, t.toStdString()); });
        connect(value, &QLineEdit::textEdited, this, [this, id](const QString& t) { model_->setDraftValue(id, t.toStdString()); });
        connect(eye, &QToolButton::clicked, this, [this, id] { model_->toggleConcealed(id); });
        // Queued: the button that asks for its row's removal must not be deleted under its own click.
        connect(remove, &QToolButton::clicked, this, [this, id] { model_->removeDraft(id); }, Qt::QueuedConnection);
        showDraftField(id);
    }
    followMode();
}

void AddItemSheet::showDraftField(const Uuid& id) {
    const auto row = rows_.find(id);
    const auto& fields = model_->draftFields();
    const auto field = std::find_if(fields.begin(), fields.end(), [&](const auto& f) { return f.id == id; });
    if (row == rows_.end() || field == fields.end()) return;
    showText(row->second.label, field->label);
    showText(row->second.value, field->value);
    row->second.value->setEchoMode(field->concealed ? QLineEdit::Password : QLineEdit::Normal);
    const QString reveal = field->concealed ? "Show value" : "Hide value";
    const QColor secondary = VaelTheme::secondaryText(palette());
    row->second.eye->setIcon(SymbolCatalog::icon(field->concealed ? "eye.slash" : "eye", secondary));
    row->second.remove->setIcon(SymbolCatalog::icon("minus.circle", secondary));
    row->second.eye->setToolTip(reveal);
    row->second.eye->setAccessibleName(reveal);
}

void AddItemSheet::followMode() {
    const bool draft = model_->isDraftMode();
    for (QWidget* field : {static_cast<QWidget*>(fieldLabel_), static_cast<QWidget*>(username_),
                           static_cast<QWidget*>(value_)})
        details_->setRowVisible(field, !draft);
    details_->setRowVisible(website_, draft);
    details_->setRowVisible(draft_, draft);
    fitDesignedSize({AddItemSheetModel::kWidth, model_->sheetHeight()});
}

void AddItemSheet::followTier() {
    const auto& tier = TierStyle::of(model_->tierID());
    glyph_->setSymbol(FieldGlyph::symbol(model_->fieldLabel()));
    glyph_->setTint(tier.tint);
    blurb_->setText(tier.blurb);
    blurb_->setAccessibleName(tier.blurb);
    tiers_->setTierID(qs(model_->tierID()));
    retint();
}

void AddItemSheet::followAddRule() { add_->setEnabled(model_->canAdd()); }

void AddItemSheet::fitPasteBox() {
    // Two to five lines, growing with the text.
    const int lines = std::clamp(static_cast<int>(paste_->document()->size().height()), 2, 5);
    const int frame = 2 * paste_->frameWidth() + static_cast<int>(2 * paste_->document()->documentMargin());
    paste_->setFixedHeight(lines * paste_->fontMetrics().lineSpacing() + frame + 2);
}

void AddItemSheet::changeEvent(QEvent* event) {
    Sheet::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) retint();
}

void AddItemSheet::retint() {
    const auto& tier = TierStyle::of(model_->tierID());
    const QColor secondary = VaelTheme::secondaryText(palette());
    blurbIcon_->setPixmap(SymbolCatalog::pixmap(tier.icon, tier.tint.resolve(palette()), kCaptionIcon, devicePixelRatioF()));
    if (newFolderIcon_)
        newFolderIcon_->setPixmap(SymbolCatalog::pixmap("folder.badge.plus", secondary, kCaptionIcon, devicePixelRatioF()));
    for (const auto& [id, row] : rows_) showDraftField(id);
}

}  // namespace vael
