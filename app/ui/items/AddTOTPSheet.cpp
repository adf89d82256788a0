#include "app/ui/items/AddTOTPSheet.h"
#include "app/ui/widgets/DisplayText.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QAbstractTextDocumentLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/platform/QRScan.h"
#include "app/ui/widgets/BusySpinner.h"
#include "app/ui/items/CodeRowView.h"
#include "app/ui/items/CountdownRing.h"
#include "app/ui/widgets/ElidedLabel.h"
#include "app/ui/items/RollingCodeLabel.h"
#include "app/ui/widgets/ErrorLabel.h"
#include "app/ui/widgets/FileChooser.h"
#include "app/ui/widgets/FormSection.h"
#include "app/ui/widgets/GroupedSurface.h"
#include "app/ui/widgets/Labels.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelComponents.h"

namespace vael {

namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

QString AddTOTPSheet::imageFilter() {
    QStringList patterns;
    for (const auto& format : QImageReader::supportedImageFormats()) patterns << "*." + QString::fromLatin1(format);
    return "Images (" + patterns.join(' ') + ")";
}

AddTOTPSheet::AddTOTPSheet(AppModel& app, std::optional<AppModel::ItemRow> target, AddTOTPSheetModel::OnAdded onAdded,
                           QWidget* parent, std::shared_ptr<QRScanner> scanner, std::shared_ptr<FileChooser> chooser)
    : Sheet(parent, "Add 2FA Code"),
      app_(app),
      model_(new AddTOTPSheetModel(app, std::move(target), std::move(onAdded),
                                   scanner ? std::move(scanner) : std::make_shared<QRScan::LiveQRScanner>(), this)),
      chooser_(chooser ? std::move(chooser) : std::make_shared<LiveFileChooser>(this)),
      ticker_(app.timers(), [this] { refreshPreview(); }) {
    setObjectName("addTOTPSheet");
    setAcceptDrops(true);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(16, 16, 16, 16);
    header->setSpacing(12);
    header->addWidget(new ItemGlyph("timer", systemColor(SystemColor::blue), 34));
    auto* title = styledLabel("Add 2FA Code", TextStyle::title3, QFont::DemiBold);
    title->setObjectName("sheetTitle");
    header->addWidget(title);
    header->addStretch(1);
    column->addLayout(header);

    auto* form = new QVBoxLayout;
    form->setContentsMargins(16, 0, 16, 12);
    form->setSpacing(12);
    form->addWidget(buildSeedSection());
    form->addWidget(buildSaveToSection());
    form->addStretch(1);
    column->addLayout(form, 1);
    column->addWidget(separatorLine());

    auto* footer = new QVBoxLayout;
    footer->setContentsMargins(16, 16, 16, 16);
    footer->setSpacing(8);
    error_ = new ErrorLabel;
    error_->setObjectName("sheetError");
    footer->addWidget(error_);
    auto* buttons = new QHBoxLayout;
    auto* cancel = new QPushButton("Cancel");
    cancel->setObjectName("cancel");
    cancel->setAccessibleName("Cancel");
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(cancel);
    buttons->addStretch(1);
    add_ = vaelPrimaryButton(new QPushButton("Add Code"));
    add_->setObjectName("addCode");
    add_->setAccessibleName("Add Code");
    add_->setMinimumWidth(70 + 36);
    add_->setDefault(true);
    addSpinner_ = spinnerInButton(add_);
    addSpinner_->setObjectName("addSpinner");
    connect(add_, &QPushButton::clicked, this, [this] { model_->save(); });
    buttons->addWidget(add_);
    footer->addLayout(buttons);
    column->addLayout(footer);

    connect(model_, &AddTOTPSheetModel::seedTextChanged, this, [this] {
        refreshSeed();
        refreshPreview();
    });
    connect(model_, &AddTOTPSheetModel::parsedChanged, this, [this] { refreshPreview(); });
    connect(model_, &AddTOTPSheetModel::rowsChanged, this, [this] { refreshPicker(); });
    connect(model_, &AddTOTPSheetModel::needsNameChanged, this, [this] { refreshPicker(); });
    connect(model_, &AddTOTPSheetModel::nameChanged, this, [this] {
        if (name_ && name_->text() != qs(model_->name())) name_->setText(qs(model_->name()));
    });
    for (auto signal : {&AddTOTPSheetModel::canSaveChanged, &AddTOTPSheetModel::busyChanged,
                        &AddTOTPSheetModel::errorChanged, &AddTOTPSheetModel::scanningChanged}) {
        connect(model_, signal, this, [this] { refreshFooter(); });
    }
    connect(model_, &AddTOTPSheetModel::saved, this, &QDialog::accept);

    refreshSeed();
    refreshPreview();
    refreshPicker();
    refreshFooter();
    fitDesignedSize({kWidth, kHeight});
    model_->loadRows();
}

QWidget* AddTOTPSheet::buildSeedSection() {
    auto* section = new FormSection("Seed");
    section->setObjectName("seedSection");
    seed_ = new QPlainTextEdit;
    seed_->setObjectName("seed");
    seed_->setAccessibleName("Seed");
    seed_->setPlaceholderText("Paste otpauth:// link or base32 secret");
    seed_->setFont(VaelFont::secretSmall());
    seed_->setTabChangesFocus(true);
    seed_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    seed_->setWordWrapMode(QTextOption::WrapAnywhere);
    seed_->setInputMethodHints(Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
    // Files dropped anywhere on the sheet are read as images, never inserted as text.
    seed_->setAcceptDrops(false);
    connect(seed_, &QPlainTextEdit::textChanged, this,
            [this] { model_->setSeedText(seed_->toPlainText().toStdString()); });
    // The line count is known once the text is laid out at the editor's width.
    connect(seed_->document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            [this] { fitSeedHeight(); });
    // Return is the sheet's default action here too; Shift+Return breaks the line.
    seed_->installEventFilter(this);
    seed_->viewport()->installEventFilter(this);
    section->form()->addRow(seed_);

    auto* actions = new QHBoxLayout;
    actions->setSpacing(8);
    scan_ = new QPushButton;
    scan_->setObjectName("scanScreen");
    scan_->setAccessibleName("Scan QR on Screen");
    scan_->setToolTip("Finds the setup QR code shown anywhere on your displays");
    auto* scanInside = new QHBoxLayout(scan_);
    scanInside->setContentsMargins(10, 0, 10, 0);
    scanInside->setSpacing(6);
    scanSpinner_ = new BusySpinner(12);
    scanSpinner_->setObjectName("scanSpinner");
    scanInside->addWidget(scanSpinner_);
    scanInside->addWidget(symbolLabel("qrcode.viewfinder", palette().color(QPalette::ButtonText), 14));
    auto* scanText = new QLabel("Scan QR on Screen");
    scanText->setTextFormat(Qt::PlainText);
    scanInside->addWidget(scanText);
    scan_->setMinimumWidth(scanInside->sizeHint().width() + 16);
    scan_->setMinimumHeight(28);
    connect(scan_, &QPushButton::clicked, this, [this] { model_->scanScreen(); });
    actions->addWidget(scan_);
    auto* fromImage = new QPushButton(SymbolCatalog::icon("photo", palette().color(QPalette::ButtonText), 14),
                                      "From Image\u2026");
    fromImage->setObjectName("fromImage");
    fromImage->setAccessibleName("From Image\u2026");
    fromImage->setToolTip("Read the QR from a saved screenshot or photo");
    fromImage->setMinimumHeight(28);
    connect(fromImage, &QPushButton::clicked, this, [this] { chooseImage(); });
    actions->addWidget(fromImage);
    actions->addStretch(1);
    section->form()->addRow(actions);

    preview_ = new QWidget;
    preview_->setObjectName("preview");
    auto* previewRow = new QHBoxLayout(preview_);
    previewRow->setContentsMargins(0, 0, 0, 0);
    previewRow->setSpacing(8);
    previewRow->addWidget(symbolLabel("checkmark.circle.fill", systemColor(SystemColor::green, palette()), 18));
    auto* previewTexts = new QVBoxLayout;
    previewTexts->setSpacing(1);
    // The code rolls up into the next one, as the codes list's do.
    previewCode_ = liveCodeLabel(TextStyle::title3);
    previewCode_->setObjectName("previewCode");
    // The link's issuer and account: anyone's text, of any length.
    previewCaption_ = new ElidedLabel(2);
    previewCaption_->setFont(VaelFont::style(TextStyle::caption));
    makeSecondary(previewCaption_);
    previewCaption_->setObjectName("previewCaption");
    previewTexts->addWidget(previewCode_);
    previewTexts->addWidget(previewCaption_);
    previewRow->addLayout(previewTexts, 1);
    previewRing_ = new CountdownRing;
    previewRow->addWidget(previewRing_);
    section->form()->addRow(preview_);

    invalid_ = cautionNote("xmark.circle", "Not a valid otpauth link or base32 seed", "invalidSeedPreview");
    section->form()->addRow(invalid_);
    fitSeedHeight();
    return section;
}

QWidget* AddTOTPSheet::buildSaveToSection() {
    saveTo_ = new FormSection("Save To");
    saveTo_->setObjectName("saveToSection");
    if (const auto& target = model_->target()) {
        auto* row = new QHBoxLayout;
        row->setSpacing(8);
        row->addWidget(symbolLabel("key.fill", VaelTheme::secondaryText(palette()), 14));
        auto* name = styledLabel(displayName(target->name), TextStyle::body);
        name->setObjectName("targetName");
        name->setAccessibleName(name->text());
        row->addWidget(name, 1);
        saveTo_->form()->addRow(row);
        return saveTo_;
    }
    picker_ = new QComboBox;
    picker_->setObjectName("itemPicker");
    picker_->setAccessibleName("Item");
    connect(picker_, &QComboBox::currentIndexChanged, this, [this](int index) {
        const auto data = picker_->itemData(index);
        std::optional<Uuid> id;
        if (data.isValid()) {
            for (const auto& row : model_->rows())
                if (qs(row.id.text()) == data.toString()) id = row.id;
        }
        model_->setTargetItemID(id);
    });
    saveTo_->form()->addRow("Item", picker_);
    name_ = new QLineEdit;
    name_->setObjectName("name");
    name_->setAccessibleName("Name");
    name_->setInputMethodHints(Qt::ImhNoPredictiveText);
    connect(name_, &QLineEdit::textEdited, this, [this](const QString& text) { model_->setName(text.toStdString()); });
    saveTo_->form()->addRow("Name", name_);
    return saveTo_;
}

void AddTOTPSheet::chooseImage() {
    const auto path = chooser_->openFile("Choose an Image", imageFilter(), FileChooser::picturesFolder());
    if (path) model_->readImage(path->toStdString());
}

void AddTOTPSheet::dragEnterEvent(QDragEnterEvent* event) {
    const auto* mime = event->mimeData();
    if (mime->hasUrls() || mime->hasImage()) event->acceptProposedAction();
}

void AddTOTPSheet::dropEvent(QDropEvent* event) {
    const auto urls = event->mimeData()->urls();
    // Only the first item counts, and only a file behind it; anything else is ignored quietly.
    if (urls.isEmpty() || !urls.front().isLocalFile()) return;
    event->acceptProposedAction();
    model_->readImage(urls.front().toLocalFile().toStdString());
}

bool AddTOTPSheet::eventFilter(QObject* watched, QEvent* event) {
    // The placeholder's lines depend on the width the box is given.
    if (watched == seed_->viewport() && event->type() == QEvent::Resize) fitSeedHeight();
    if (watched == seed_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !(key->modifiers() & Qt::ShiftModifier)) {
            if (add_->isEnabled()) add_->click();
            return true;
        }
    }
    return Sheet::eventFilter(watched, event);
}

void AddTOTPSheet::fitSeedHeight() {
    // One to three lines, growing with the text; a plain-text document measures its height in lines.
    // Empty, it shows every line of its placeholder, which a large font wraps.
    const QFontMetrics metrics(seed_->font());
    int typed = static_cast<int>(seed_->document()->documentLayout()->documentSize().height());
    if (seed_->document()->isEmpty()) {
        const int inner = seed_->viewport()->width() - static_cast<int>(2 * seed_->document()->documentMargin());
        const QRect hint = metrics.boundingRect(QRect(0, 0, std::max(1, inner), 100000), Qt::TextWordWrap,
                                                seed_->placeholderText());
        typed = std::max(typed, (hint.height() + metrics.lineSpacing() - 1) / metrics.lineSpacing());
    }
    const int lines = std::clamp(typed, 1, 3);
    const int chrome = static_cast<int>(seed_->document()->documentMargin() * 2) + seed_->frameWidth() * 2 +
                       seed_->contentsMargins().top() + seed_->contentsMargins().bottom() + 4;
    seed_->setFixedHeight(lines * metrics.lineSpacing() + chrome);
}

void AddTOTPSheet::refreshSeed() {
    const auto text = qs(model_->seedText());
    if (seed_->toPlainText() != text) {
        const QSignalBlocker quiet(seed_);
        seed_->setPlainText(text);
    }
}

void AddTOTPSheet::refreshPreview() {
    const bool valid = model_->parsed().has_value();
    preview_->setVisible(valid);
    invalid_->setVisible(model_->showsInvalidSeed());
    if (!valid) {
        ticker_.stop();
        return;
    }
    ticker_.start();
    const auto date = app_.clock().now();
    const auto code = model_->previewCode(date);
    previewCode_->setCode(code ? qs(*code) : QString());
    previewCode_->setVisible(code.has_value());
    previewCaption_->setFullText(shortName(model_->previewCaption()));
    previewRing_->setTime(model_->seedText(), date);
}

void AddTOTPSheet::refreshPicker() {
    if (!picker_) return;
    {
        const QSignalBlocker quiet(picker_);
        picker_->clear();
        picker_->addItem("New item");
        for (const auto& row : model_->rows()) picker_->addItem(displayName(row.name), qs(row.id.text()));
        int current = 0;
        if (const auto& picked = model_->targetItemID()) {
            const int found = picker_->findData(qs(picked->text()));
            if (found >= 0) current = found;
        }
        picker_->setCurrentIndex(current);
    }
    saveTo_->form()->setRowVisible(name_, model_->needsName());
}

void AddTOTPSheet::refreshFooter() {
    error_->setMessage(model_->error());
    add_->setEnabled(model_->canSave());
    addSpinner_->setVisible(model_->busy());
    scan_->setEnabled(!model_->scanning());
    scanSpinner_->setVisible(model_->scanning());
}

}  // namespace vael
