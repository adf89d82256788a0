#include "app/ui/items/ItemDetailView.h"

#include <algorithm>

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/agent/VaultRef.h"
#include "app/agent/ops/AgentText.h"
#include "app/items/AIHandoffFormatter.h"
#include "app/items/TOTPDisplay.h"
#include "app/ui/items/CodeRowView.h"
#include "app/ui/widgets/CopyButton.h"
#include "app/ui/widgets/DisplayText.h"
#include "app/ui/items/CountdownRing.h"
#include "app/ui/items/RollingCodeLabel.h"
#include "app/ui/widgets/ElidedLabel.h"
#include "app/ui/widgets/ErrorLabel.h"
#include "app/ui/widgets/GroupedSurface.h"
#include "app/ui/widgets/Labels.h"
#include "app/ui/widgets/SecondTicker.h"
#include "app/ui/design/MotionPreference.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelComponents.h"

namespace vael {

namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }
QString qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Overwrites a shown value's characters where no one else holds them, then lets it go.
void overwrite(QString& text) {
    if (text.isDetached()) std::fill(text.begin(), text.end(), QChar(u'\0'));
    text.clear();
}

// A field row's frame: its label over what `texts` gets, then the trailing controls in `line`.
QVBoxLayout* fieldRowLayout(QWidget* row, int index, const std::string& label) {
    row->setObjectName(QString("field.%1").arg(index));
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(12, 12, 12, 12);
    line->setSpacing(12);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto* caption = styledLabel(displayName(label), TextStyle::caption, QFont::Normal, true);
    caption->setObjectName("fieldLabel");
    caption->setAccessibleName(caption->text());
    texts->addWidget(caption);
    line->addLayout(texts, 1);
    return texts;
}

// A field shown as its value or the mask, with Reveal or a copy button.
class PlainFieldRow final : public QWidget {
public:
    PlainFieldRow(ItemDetailViewModel* vm, int index, TimerSource& timers) : vm_(vm), index_(index) {
        const auto& field = vm->payload().fields[static_cast<std::size_t>(index)];
        auto* texts = fieldRowLayout(this, index, field.label);
        auto* line = static_cast<QHBoxLayout*>(layout());
        value_ = new ElidedLabel(2);
        value_->setObjectName("fieldValue");
        value_->setFont(field.concealed ? VaelFont::secret() : VaelFont::style(TextStyle::body));
        texts->addWidget(value_);

        reveal_ = new QPushButton("Reveal");
        reveal_->setObjectName("reveal");
        reveal_->setAccessibleName("Reveal " + qs(field.label));
        reveal_->setToolTip("Reveal with approval");
        reveal_->setIcon(SymbolCatalog::icon("touchid", VaelTheme::secondaryText(palette()), 14));
        reveal_->setFont(VaelFont::style(TextStyle::callout));
        connect(reveal_, &QPushButton::clicked, this, [this] {
            // The answer shows through the model's revealed set; a refusal changes nothing.
            if (vm_) vm_->reveal(index_);
        });
        line->addWidget(reveal_, 0, Qt::AlignVCenter);
        copy_ = new CopyButton("Copy " + qs(field.label),
                               [this] { return vm_ && vm_->isRevealed(index_) ? qs(vm_->displayValue(index_)) : QString(); }, timers);
        copy_->setObjectName("copyField");
        line->addWidget(copy_, 0, Qt::AlignVCenter);
        refresh();
    }

    void refresh() {
        if (!vm_) return;
        const auto& field = vm_->payload().fields[static_cast<std::size_t>(index_)];
        show(qs(vm_->displayValue(index_)));
        // The value, revealed or masked again, comes in from faint on the copy feedback's spring.
        if (const bool revealed = vm_->isRevealed(index_); revealed != revealed_) {
            revealed_ = revealed;
            MotionPreference::animate(this, revealMotion_, 0.2, 1.0, CopyButton::kSymbolMotionMs,
                                      MotionPreference::spring(), [this](double opacity) { fadeValue(opacity); });
        }
        const bool masked = !vm_->isRevealed(index_) && (field.concealed || vm_->forgotten());
        reveal_->setVisible(masked && !vm_->forgotten());
        copy_->setVisible(!masked);
    }

    // The label, its accessible name and this row let go of the value, and what only they held
    // is overwritten.
    void forget() {
        show(QString());
        reveal_->setVisible(false);
        copy_->setVisible(false);
    }

private:
    void show(QString text) {
        QString labelText = value_->text();  // the label's own (elided) copy
        value_->setFullText(text);
        overwrite(labelText);
        overwrite(shown_);
        shown_ = std::move(text);
    }

    void fadeValue(double opacity) {
        if (opacity >= 1.0) {
            value_->setPalette(QPalette());  // back to the theme's own colours
            return;
        }
        QPalette faded = value_->palette();
        QColor text = palette().color(QPalette::WindowText);
        text.setAlphaF(float(std::clamp(opacity, 0.0, 1.0) * text.alphaF()));
        faded.setColor(QPalette::WindowText, text);
        value_->setPalette(faded);
    }

    QPointer<ItemDetailViewModel> vm_;
    int index_;
    ElidedLabel* value_;
    QPushButton* reveal_;
    CopyButton* copy_;
    QString shown_;
    bool revealed_ = false;
    QVariantAnimation* revealMotion_ = nullptr;
};

// A one-time-code field: the live code, its ring and "Copy code", or "Invalid seed". The seed itself
// is never shown, and no approval is asked for the code.
class OTPFieldRow final : public QWidget {
public:
    OTPFieldRow(const ItemField& field, int index, TimerSource& timers, const Clock& clock)
        : seed_(field.value), clock_(clock), ticker_(timers, [this] { refresh(); }) {
        auto* texts = fieldRowLayout(this, index, field.label);
        auto* line = static_cast<QHBoxLayout*>(layout());
        live_.code = liveCodeLabel(TextStyle::title2);
        live_.code->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        texts->addWidget(live_.code);
        live_.invalid = invalidSeedLabel();
        texts->addWidget(live_.invalid);
        line->addSpacing(8);
        live_.ring = new CountdownRing;
        line->addWidget(live_.ring);
        live_.copy = new CopyButton(
            "Copy code", [this] { return qs(TOTPDisplay::codeAt(seed_, clock_.now()).value_or("")); }, timers);
        live_.copy->setObjectName("copyCode");
        line->addWidget(live_.copy);
        refresh();
        ticker_.start();
    }
    ~OTPFieldRow() override { forget(); }

    // The seed is a secret: gone with the row, or as soon as the pane forgets its values.
    void forget() {
        forgotten_ = true;
        std::fill(seed_.begin(), seed_.end(), '\0');
        seed_.clear();
        live_.code->setCode({});
        live_.code->hide();
        live_.ring->hide();
        live_.copy->hide();
    }

private:
    void refresh() {
        if (!forgotten_) live_.show(seed_, clock_.now());
    }

    std::string seed_;
    const Clock& clock_;
    SecondTicker ticker_;
    LiveCodeParts live_{};
    bool forgotten_ = false;
};

// The header: glyph, name, tier badge and blurb, and "Copy for AI" beside the name while the name
// keeps room for a few words, else level with the badge, else under the blurb; the blurb runs under
// the button too, so a narrow pane never squeezes the name or the blurb into a sliver.
class DetailHeader final : public QWidget {
public:
    DetailHeader(QWidget* glyph, QLabel* name, QWidget* badge, QLabel* blurb, QWidget* handoff)
        : name_(name), badge_(badge), blurb_(blurb), handoff_(handoff), grid_(new QGridLayout(this)) {
        grid_->setContentsMargins(0, 0, 0, 0);
        grid_->setHorizontalSpacing(16);
        grid_->setVerticalSpacing(8);
        grid_->addWidget(glyph, 0, 0, 4, 1, Qt::AlignTop);
        grid_->setColumnStretch(1, 1);
        arrange(Place::besideName);
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        const int nameRoom = name_->fontMetrics().averageCharWidth() * 16;
        const int spacing = grid_->horizontalSpacing();
        const int button = handoff_->sizeHint().width();
        const int text = width() - 52 - spacing;
        arrange(text >= nameRoom + spacing + button                      ? Place::besideName
                : text >= badge_->sizeHint().width() + spacing + button ? Place::besideBadge
                                                                         : Place::underBlurb);
    }

private:
    enum class Place { besideName, besideBadge, underBlurb };

    void arrange(Place place) {
        if (place == place_ && grid_->indexOf(name_) >= 0) return;
        place_ = place;
        for (QWidget* widget : {static_cast<QWidget*>(name_), badge_, static_cast<QWidget*>(blurb_), handoff_}) grid_->removeWidget(widget);
        switch (place) {
            case Place::besideName:
                grid_->addWidget(name_, 0, 1);
                grid_->addWidget(handoff_, 0, 2, Qt::AlignTop);
                grid_->addWidget(badge_, 1, 1, 1, 2, Qt::AlignLeft);
                grid_->addWidget(blurb_, 2, 1, 1, 2);
                break;
            case Place::besideBadge:
                grid_->addWidget(name_, 0, 1, 1, 2);
                grid_->addWidget(badge_, 1, 1, Qt::AlignLeft | Qt::AlignVCenter);
                grid_->addWidget(handoff_, 1, 2, Qt::AlignVCenter);
                grid_->addWidget(blurb_, 2, 1, 1, 2);
                break;
            case Place::underBlurb:
                grid_->addWidget(name_, 0, 1, 1, 2);
                grid_->addWidget(badge_, 1, 1, 1, 2, Qt::AlignLeft);
                grid_->addWidget(blurb_, 2, 1, 1, 2);
                grid_->addWidget(handoff_, 3, 1, 1, 2, Qt::AlignLeft);
                break;
        }
        updateGeometry();
    }

    QLabel* name_;
    QWidget* badge_;
    QLabel* blurb_;
    QWidget* handoff_;
    QGridLayout* grid_;
    Place place_ = Place::besideName;
};

}  // namespace

ItemDetailView::ItemDetailView(ItemDetailViewModel* vm, std::string aiAccess, WebsiteSave onWebsiteSave,
                               std::string collection, TimerSource& timers, const Clock& clock, QWidget* parent)
    : QScrollArea(parent),
      vm_(vm),
      aiAccess_(std::move(aiAccess)),
      onWebsiteSave_(std::move(onWebsiteSave)),
      collection_(std::move(collection)),
      timers_(timers),
      clock_(clock) {
    setObjectName("itemDetail");
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab goes through the pane's controls (each scrolled into view), never to the unnamed pane.
    setFocusPolicy(Qt::NoFocus);
    if (vm_) vm_->setParent(this);

    auto* page = new QWidget;
    page->setObjectName("itemDetail.page");
    auto* across = new QHBoxLayout(page);
    across->setContentsMargins(0, 0, 0, 0);
    auto* columnWidget = new QWidget;
    columnWidget->setObjectName("itemDetail.column");
    columnWidget->setMaximumWidth(kMaxColumnWidth);
    column_ = new QVBoxLayout(columnWidget);
    column_->setContentsMargins(24, 24, 24, 24);
    column_->setSpacing(24);
    // Up to 560 wide against the leading edge; the rest of the pane stays empty.
    across->addWidget(columnWidget, 1);
    across->addStretch(0);
    setWidget(page);

    // The website starts from the item once, and then belongs to the pane.
    header_ = buildHeader();
    fields_ = buildFieldsCard();
    column_->addWidget(header_);
    column_->addWidget(fields_);
    column_->addWidget(buildWebsiteCard());
    reference_ = buildReferenceCard();
    column_->addWidget(reference_);
    column_->addStretch(1);
    if (vm_) {
        website_->setText(qs(vm_->payload().url.value_or("")));
        strictMatch_->setChecked(vm_->payload().strictMatch.value_or(false));
    }
    refreshWebsite();
}

ItemDetailView::~ItemDetailView() { forgetValues(); }

void ItemDetailView::forgetValues() {
    if (vm_) vm_->forget();
}

void ItemDetailView::setViewModel(ItemDetailViewModel* vm) {
    if (vm == vm_) return;
    if (vm_) {
        vm_->forget();
        vm_->deleteLater();
    }
    vm_ = vm;
    if (vm_) vm_->setParent(this);
    buildItem();
    refreshWebsite();
}

void ItemDetailView::replaceCard(QWidget*& old, QWidget* fresh) {
    delete column_->replaceWidget(old, fresh);  // the layout's item is ours to free
    old->deleteLater();
    old = fresh;
}

void ItemDetailView::buildItem() {
    replaceCard(header_, buildHeader());
    replaceCard(fields_, buildFieldsCard());
    replaceCard(reference_, buildReferenceCard());
}

void ItemDetailView::setPlacement(std::string aiAccess, std::string collection) {
    if (aiAccess == aiAccess_ && collection == collection_) return;
    const bool tierChanged = aiAccess != aiAccess_;
    aiAccess_ = std::move(aiAccess);
    collection_ = std::move(collection);
    if (tierChanged) replaceCard(header_, buildHeader());
    replaceCard(reference_, buildReferenceCard());
}

QString ItemDetailView::reference() const {
    if (!vm_) return {};
    const auto& payload = vm_->payload();
    const std::string label = payload.fields.empty() ? std::string() : payload.fields.front().label;
    return qs(VaultRef::make(collection_, payload.name, label));
}

bool ItemDetailView::websiteDirty() const {
    if (!vm_) return false;
    const auto typed = trimBlanks(website_->text().toStdString());
    return typed != vm_->payload().url.value_or("") ||
           strictMatch_->isChecked() != vm_->payload().strictMatch.value_or(false);
}

QWidget* ItemDetailView::card(const QString& title, QWidget* surface, QWidget* caption) {
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(sectionHeader(title));
    column->addWidget(surface);
    if (caption) column->addWidget(caption);
    return box;
}

QWidget* ItemDetailView::buildHeader() {
    const auto& tier = TierStyle::of(aiAccess_);
    const ItemPayload empty;
    const auto& payload = vm_ ? vm_->payload() : empty;
    const std::string firstLabel = payload.fields.empty() ? std::string() : payload.fields.front().label;
    auto* glyph = new ItemGlyph(FieldGlyph::symbol(firstLabel), tier.tint, 52);
    glyph->setObjectName("itemGlyph");
    // A name of any length: cut to a readable one, then broken anywhere over a few lines at most.
    auto* name = new ElidedLabel(3);
    name->setFont(VaelFont::style(TextStyle::title, QFont::DemiBold));
    name->setFullText(shortName(payload.name));
    name->setObjectName("itemName");
    auto* badge = new TierBadge(tier);
    badge->setObjectName("tierBadge");
    auto* blurb = styledLabel(tier.blurb, TextStyle::callout, QFont::Normal, true);
    blurb->setObjectName("tierBlurb");
    blurb->setAccessibleName(tier.blurb);
    blurb->setWordWrap(true);
    auto* handoff = new AICopyButton(
        [this] {
            if (!vm_) return QString();
            return qs(AIHandoffFormatter::render(vm_->payload(), aiAccess_, collection_));
        },
        timers_);
    handoff->setObjectName("copyForAI");
    auto* header = new DetailHeader(glyph, name, badge, blurb, handoff);
    header->setObjectName("itemDetail.header");
    return header;
}

QWidget* ItemDetailView::buildFieldsCard() {
    auto* surface = new GroupedSurface(0);
    surface->setObjectName("itemDetail.fields");
    if (vm_) {
        const auto& fields = vm_->payload().fields;
        std::vector<PlainFieldRow*> plain;
        std::vector<OTPFieldRow*> codes;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i > 0) surface->content()->addWidget(separatorLine());
            const int index = static_cast<int>(i);
            if (fields[i].kind == ItemField::Kind::otp) {
                codes.push_back(new OTPFieldRow(fields[i], index, timers_, clock_));
                surface->content()->addWidget(codes.back());
            } else {
                auto* row = new PlainFieldRow(vm_, index, timers_);
                plain.push_back(row);
                surface->content()->addWidget(row);
            }
        }
        connect(vm_, &ItemDetailViewModel::revealedIndicesChanged, surface, [plain] {
            for (auto* row : plain) row->refresh();
        });
        connect(vm_, &ItemDetailViewModel::valuesForgotten, surface, [plain, codes] {
            for (auto* row : plain) row->forget();
            for (auto* row : codes) row->forget();
        });
    }
    if (surface->content()->count() == 0) surface->setMinimumHeight(24);
    // A reveal that could ask nobody says so here; the value stays masked.
    auto* note = new ErrorLabel;
    note->setObjectName("presenceNote");
    if (vm_) {
        note->setMessage(vm_->presenceNote());
        connect(vm_, &ItemDetailViewModel::presenceNoteChanged, note, [note, vm = vm_] { note->setMessage(vm->presenceNote()); });
    } else {
        note->setMessage(QString());
    }
    return card("FIELDS", surface, note);
}

QWidget* ItemDetailView::buildWebsiteCard() {
    auto* surface = new GroupedSurface(12);
    surface->setObjectName("itemDetail.website");
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    auto* globe = symbolLabel("globe", VaelTheme::secondaryText(palette()), 16);
    row->addWidget(globe);
    website_ = new QLineEdit;
    website_->setObjectName("website");
    website_->setAccessibleName("Website");
    website_->setPlaceholderText("https://example.com/login");
    website_->setInputMethodHints(Qt::ImhNoPredictiveText | Qt::ImhUrlCharactersOnly);
    row->addWidget(website_, 1);
    save_ = new QPushButton("Save");
    save_->setObjectName("saveWebsite");
    save_->setAccessibleName("Save");
    save_->setFont(VaelFont::style(TextStyle::callout));
    // Prominent at small size: the accent fill, little padding.
    const QColor accent = VaelTheme::accent(palette());
    save_->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: %2; border: none; border-radius: 5px;"
                                        " padding: 3px 10px; }"
                                        "QPushButton:pressed { background: %3; }"
                                        "QPushButton:focus { border: 1px solid %3; }")
                             .arg(accent.name(), palette().color(QPalette::HighlightedText).name(),
                                  accent.darker(120).name()));
    row->addWidget(save_);
    savedMark_ = symbolLabel("checkmark", systemColor(SystemColor::green, palette()), 16);
    savedMark_->setObjectName("websiteSaved");
    savedMark_->setAccessibleName("Saved");
    row->addWidget(savedMark_);
    surface->content()->addLayout(row);
    surface->content()->addSpacing(12);

    strictMatch_ = new QCheckBox("Exact host only");
    strictMatch_->setObjectName("strictMatch");
    strictMatch_->setAccessibleName("Exact host only");
    surface->content()->addWidget(strictMatch_);
    auto* strictCaption =
        styledLabel("Autofill only on this exact address \u2014 for banks and shared hosts.", TextStyle::caption,
                    QFont::Normal, true);
    strictCaption->setObjectName("strictMatchCaption");
    strictCaption->setWordWrap(true);
    strictCaption->setContentsMargins(24, 0, 0, 0);
    surface->content()->addWidget(strictCaption);

    websiteCaption_ = styledLabel({}, TextStyle::caption);
    websiteCaption_->setObjectName("websiteCaption");
    websiteCaption_->setWordWrap(true);

    connect(website_, &QLineEdit::textChanged, this, [this] { refreshWebsite(); });
    connect(strictMatch_, &QCheckBox::toggled, this, [this] { refreshWebsite(); });
    // Return saves nothing: only the button does.
    connect(save_, &QPushButton::clicked, this, [this] { saveWebsite(); });
    return card("WEBSITE", surface, websiteCaption_);
}

QWidget* ItemDetailView::buildReferenceCard() {
    auto* surface = new GroupedSurface(12);
    surface->setObjectName("itemDetail.reference");
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addWidget(symbolLabel("link", VaelTheme::secondaryText(palette()), 16));
    auto* text = new ElidedLabel(1);
    text->setObjectName("reference");
    text->setFont(VaelFont::secretSmall());
    text->setFullText(reference());
    row->addWidget(text, 1);
    auto* copy = new CopyButton("Copy reference", [this] { return reference(); }, timers_);
    copy->setObjectName("copyReference");
    row->addWidget(copy);
    surface->content()->addLayout(row);
    auto* caption = styledLabel("Agents reference this secret by its handle \u2014 they never receive the value.",
                                TextStyle::caption, QFont::Normal, true);
    caption->setWordWrap(true);
    return card("AGENT REFERENCE", surface, caption);
}

void ItemDetailView::refreshWebsite() {
    // Save while there is something to save, else the check once a save succeeded, else nothing.
    const bool dirty = onWebsiteSave_ && websiteDirty();
    save_->setVisible(dirty);
    savedMark_->setVisible(!dirty && websiteSaved_);
    const auto caption = websiteError_ ? qs(*websiteError_)
                                       : QString("The browser extension offers this login only on matching sites.");
    websiteCaption_->setText(caption);
    websiteCaption_->setAccessibleName(caption);
    QPalette palette = websiteCaption_->palette();
    palette.setColor(QPalette::WindowText, websiteError_ ? systemColor(SystemColor::red, this->palette())
                                                         : VaelTheme::secondaryText(this->palette()));
    websiteCaption_->setPalette(palette);
}

QCoro::Task<> ItemDetailView::saveWebsite() {
    if (!onWebsiteSave_) co_return;
    const auto typed = website_->text().toStdString();
    std::optional<std::string> website;
    if (!typed.empty()) website = typed;
    const bool strict = strictMatch_->isChecked();
    auto save = onWebsiteSave_;
    QPointer<ItemDetailView> self(this);
    std::optional<std::string> failure;
    try {
        auto saving = save(std::move(website), strict);
        co_await saving;
    } catch (const std::exception& error) {
        failure = std::string("Couldn't save: ") + error.what();
    } catch (...) {
        failure = std::string("Couldn't save: ") + "unknown error";
    }
    if (!self) co_return;
    if (failure) {
        websiteError_ = std::move(failure);
    } else {
        websiteSaved_ = true;
        websiteError_.reset();
    }
    refreshWebsite();
}

}  // namespace vael
