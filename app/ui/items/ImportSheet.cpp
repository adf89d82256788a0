#include "app/ui/items/ImportSheet.h"
#include "app/ui/widgets/DisplayText.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/model/AppModel.h"
#include "app/model/items/ImportSheetModel.h"
#include "app/ui/widgets/ElidedLabel.h"
#include "app/ui/widgets/ErrorLabel.h"
#include "app/ui/widgets/FileChooser.h"
#include "app/ui/widgets/FormSection.h"
#include "app/ui/widgets/Labels.h"
#include "app/ui/widgets/SheetParts.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelComponents.h"

namespace vael {

namespace {

QString text(const std::string& utf8) { return QString::fromStdString(utf8); }

QLabel* plainLabel(const QString& value, const QString& name) {
    auto* label = new QLabel(value);
    label->setTextFormat(Qt::PlainText);
    label->setObjectName(name);
    label->setAccessibleName(value);
    return label;
}

// A section's row: a plain-text label and a plain-text value.
void addRow(FormSection* section, const QString& label, const QString& value, const QString& name) {
    auto* title = plainLabel(label, name + ".label");
    auto* shown = plainLabel(value, name);
    shown->setAccessibleName(label + ": " + value);
    shown->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    section->form()->addRow(title, shown);
}

}  // namespace

// Held by the window, not the page: a page swapped for another (an invite link arriving) must not
// end an import half-way; only a lock does.
ImportSheet::ImportSheet(AppModel& app, QWidget* parent, std::shared_ptr<FileChooser> chooser)
    : Sheet(parent ? parent->window() : nullptr, QStringLiteral("Import Passwords")),
      model_(new ImportSheetModel(app, this)),
      chooser_(chooser ? std::move(chooser) : std::make_shared<LiveFileChooser>(this)) {
    setObjectName("importSheet");
    setAccessibleName("Import Passwords");
    connect(&app, &AppModel::phaseChanged, this, [this, &app] {
        if (app.phase() == AppModel::Phase::locked) deleteLater();
    });

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(16, 16, 16, 16);
    header->setSpacing(12);
    auto* glyph = new ItemGlyph("square.and.arrow.down.fill", TierStyle::aiHidden().tint, 34);
    glyph->setObjectName("importGlyph");
    glyph->setAccessibleName("Import");
    header->addWidget(glyph);
    auto* title = styledLabel("Import Passwords", TextStyle::title3, QFont::DemiBold);
    title->setObjectName("importTitle");
    title->setAccessibleName("Import Passwords");
    header->addWidget(title);
    header->addStretch(1);
    outer->addLayout(header);

    auto* scroll = new QScrollArea;
    scroll->setObjectName("importContent");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFocusPolicy(Qt::NoFocus);  // focus belongs to the controls in it
    auto* body = new QWidget;
    content_ = new QVBoxLayout(body);
    content_->setContentsMargins(16, 0, 16, 8);
    content_->setSpacing(8);
    scroll->setWidget(body);
    outer->addWidget(scroll, 1);

    outer->addWidget(new SheetDivider);
    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(16, 16, 16, 16);
    footer->setSpacing(10);
    cancel_ = new QPushButton("Cancel");
    cancel_->setObjectName("importCancel");
    cancel_->setAccessibleName("Cancel");
    cancel_->setAutoDefault(false);
    cancel_->setMinimumHeight(34);  // level with the primary button beside it
    connect(cancel_, &QPushButton::clicked, this, &ImportSheet::reject);
    footer->addWidget(cancel_);
    footer->addStretch(1);
    progressBar_ = new QProgressBar;
    progressBar_->setObjectName("importProgress");
    progressBar_->setAccessibleName("Import progress");
    progressBar_->setFixedWidth(140);
    progressBar_->setTextVisible(false);
    footer->addWidget(progressBar_);
    progressText_ = styledLabel({}, TextStyle::caption, QFont::Normal, true);
    progressText_->setObjectName("importProgressText");
    // Digits of equal width, so the counter does not jitter as it rises.
    QFont digits = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    digits.setPointSizeF(progressText_->font().pointSizeF());
    progressText_->setFont(digits);
    footer->addWidget(progressText_);
    import_ = vaelPrimaryButton(new QPushButton("Import"));
    import_->setObjectName("importRun");
    import_->setAccessibleName("Import");
    connect(import_, &QPushButton::clicked, this, [this] { model_->runImport(); });
    footer->addWidget(import_);
    done_ = vaelPrimaryButton(new QPushButton("Done"));
    done_->setObjectName("importDone");
    done_->setAccessibleName("Done");
    connect(done_, &QPushButton::clicked, this, &ImportSheet::accept);
    footer->addWidget(done_);
    outer->addLayout(footer);

    for (auto changed : {&ImportSheetModel::parsedChanged, &ImportSheetModel::fileNameChanged,
                         &ImportSheetModel::resultChanged, &ImportSheetModel::errorChanged}) {
        connect(model_, changed, this, &ImportSheet::rebuildContent);
    }
    for (auto changed : {&ImportSheetModel::parsedChanged, &ImportSheetModel::resultChanged, &ImportSheetModel::busyChanged,
                         &ImportSheetModel::progressChanged}) {
        connect(model_, changed, this, &ImportSheet::refreshFooter);
    }
    // After the content and the footer: the sheet grows to what its stage shows at this font.
    for (auto changed : {&ImportSheetModel::parsedChanged, &ImportSheetModel::fileNameChanged,
                         &ImportSheetModel::resultChanged, &ImportSheetModel::errorChanged, &ImportSheetModel::busyChanged}) {
        connect(model_, changed, this, [this] { fitDesignedSize({kWidth, kHeight}); });
    }
    rebuildContent();
    refreshFooter();
    fitDesignedSize({kWidth, kHeight});
}

void ImportSheet::choose() {
    model_->handlePicked(chooser_->openFile("Choose CSV File", "Password exports (*.csv *.txt)"));
}

void ImportSheet::rebuildContent() {
    // The old sections go later: the button that asked for this may still be in its click.
    while (auto* item = content_->takeAt(0)) {
        if (auto* widget = item->widget()) {
            widget->setParent(nullptr);
            widget->deleteLater();
        }
        delete item;
    }
    if (model_->result()) {
        content_->addWidget(doneSection());
    } else if (model_->parsed()) {
        content_->addWidget(previewSections());
    } else {
        content_->addWidget(chooseSection());
    }
    if (model_->error()) {
        auto* section = new FormSection({});
        section->setObjectName("importErrorSection");
        auto* error = new ErrorLabel;
        error->setObjectName("importError");
        error->setMessage(model_->error());
        section->form()->addRow(error);
        content_->addWidget(section);
    }
    content_->addStretch(1);
    // Shown now, not at the layout's next turn, so the sheet measures the stage it now holds.
    for (int i = 0; i < content_->count(); ++i)
        if (auto* widget = content_->itemAt(i)->widget()) widget->show();
    // A stage opens on its first control: the file button, or the footer's primary button.
    if (auto* choose = findChild<QPushButton*>("chooseFile"); choose && !model_->parsed() && !model_->result())
        choose->setFocus(Qt::OtherFocusReason);
    else if (auto* primary = model_->result() ? done_ : import_; primary && primary->isEnabled())
        primary->setFocus(Qt::OtherFocusReason);
}

QWidget* ImportSheet::chooseSection() {
    auto* section = new FormSection({});
    section->setObjectName("chooseSection");
    auto* button = new QPushButton(SymbolCatalog::icon("doc.badge.plus", palette().color(QPalette::ButtonText)),
                                   QStringLiteral("Choose CSV File\u2026"));
    button->setObjectName("chooseFile");
    button->setAccessibleName(button->text());
    connect(button, &QPushButton::clicked, this, &ImportSheet::choose);
    section->form()->addRow(button);
    auto* help = styledLabel(QStringLiteral("Works with the CSV password exports of Firefox, Chrome and Chromium, and of "
                                            "1Password (File \u2192 Export \u2192 CSV)."),
                             TextStyle::caption, QFont::Normal, true);
    help->setObjectName("chooseHelp");
    help->setAccessibleName(help->text());
    help->setWordWrap(true);
    section->form()->addRow(help);
    return section;
}

QWidget* ImportSheet::previewSections() {
    const auto& parsed = *model_->parsed();
    auto* sections = new QWidget;
    sections->setObjectName("previewSections");
    auto* layout = new QVBoxLayout(sections);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);

    auto* summary = new FormSection({});
    summary->setObjectName("importSummary");
    addRow(summary, "File", model_->fileName(), "summaryFile");
    addRow(summary, "Items recognized", QString::number(model_->total()), "summaryItems");
    if (parsed.skipped >= 1) {
        addRow(summary, "Rows without a secret (skipped)", QString::number(parsed.skipped), "summarySkipped");
    }
    layout->addWidget(summary);

    auto* preview = new FormSection("Preview");
    preview->setObjectName("importPreview");
    int index = 0;
    for (const auto& row : model_->preview()) {
        const auto name = QStringLiteral("previewRow.%1").arg(index++);
        // A long name is shortened to the sheet, never widening it.
        auto* title = new ElidedLabel(1);
        title->setObjectName(name + ".label");
        title->setTextInteractionFlags(Qt::NoTextInteraction);
        title->setFullText(displayName(row.name));
        title->setAccessibleName(title->fullText());
        title->setMinimumWidth(title->fontMetrics().averageCharWidth() * 12);
        auto* labels = plainLabel(text(row.fieldLabels), name);
        labels->setAccessibleName(title->fullText() + ": " + labels->text());
        labels->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // One line across the section: the name takes what the labels leave.
        auto* line = new QHBoxLayout;
        line->setSpacing(12);
        line->addWidget(title, 1);
        line->addWidget(labels);
        preview->form()->addRow(line);
    }
    if (const auto more = model_->moreLine(); !more.isEmpty()) {
        auto* line = styledLabel(more, TextStyle::caption, QFont::Normal, true);
        line->setObjectName("previewMore");
        line->setAccessibleName(more);
        preview->form()->addRow(line);
    }
    layout->addWidget(preview);

    auto* note = styledLabel("Everything imports into the Hidden tier \u2014 invisible to AI agents until you upgrade "
                             "individual items.",
                             TextStyle::caption, QFont::Normal, true);
    note->setObjectName("importTierNote");
    note->setAccessibleName(note->text());
    const auto& hidden = TierStyle::aiHidden();
    layout->addWidget(symbolRow(hidden.icon, hidden.tint.resolve(palette()), note));
    return sections;
}

QWidget* ImportSheet::doneSection() {
    const auto result = *model_->result();
    auto* section = new FormSection({});
    section->setObjectName("importDoneSection");
    auto* line = plainLabel(ImportSheetModel::resultText(result), "importResult");
    const bool clean = result.failed == 0;
    const QColor tint = systemColor(clean ? SystemColor::green : SystemColor::orange, palette());
    section->form()->addRow(symbolRow(clean ? "checkmark.seal.fill" : "exclamationmark.triangle.fill", tint, line));
    return section;
}

void ImportSheet::refreshFooter() {
    const bool finished = model_->result().has_value();
    const bool busy = model_->busy();
    cancel_->setVisible(!finished);
    cancel_->setEnabled(!busy);
    const bool counting = busy && model_->parsed();
    progressBar_->setVisible(counting);
    progressText_->setVisible(counting);
    if (counting) {
        progressBar_->setRange(0, model_->total());
        progressBar_->setValue(model_->progress());
        const auto count = QStringLiteral("%1/%2").arg(model_->progress()).arg(model_->total());
        progressText_->setText(count);
        progressText_->setAccessibleName(count);
    }
    done_->setVisible(finished);
    import_->setVisible(!finished && model_->parsed());
    import_->setEnabled(!busy);
    QPushButton* primary = finished ? done_ : (model_->parsed() ? import_ : nullptr);
    done_->setDefault(primary == done_);
    import_->setDefault(primary == import_);
    if (primary && primary->isEnabled()) primary->setFocus();
}

void ImportSheet::reject() {
    if (model_->busy()) return;  // an import under way runs to its end
    Sheet::reject();
}

void ImportSheet::closeEvent(QCloseEvent* event) {
    if (model_->busy()) {
        event->ignore();
        return;
    }
    Sheet::closeEvent(event);
}

}  // namespace vael
