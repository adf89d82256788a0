#include "app/ui/items/SSHKeySheet.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "app/model/AppModel.h"
#include "app/model/items/SSHKeySheetModel.h"
#include "app/ui/widgets/BusySpinner.h"
#include "app/ui/widgets/CopyButton.h"
#include "app/ui/widgets/ErrorLabel.h"
#include "app/ui/widgets/FileChooser.h"
#include "app/ui/widgets/FormSection.h"
#include "app/ui/widgets/Labels.h"
#include "app/ui/widgets/SheetParts.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelComponents.h"

namespace vael {

namespace {

constexpr int kKeyLines = 3;

// The public key, small and monospaced, selectable, cut to three lines in the middle by hand (a
// Base64 key has no place where a line could wrap).
class PublicKeyLabel : public QLabel {
public:
    PublicKeyLabel() {
        setTextFormat(Qt::PlainText);
        setFont(VaelFont::secretSmall());
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        setAlignment(Qt::AlignLeft | Qt::AlignTop);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        // As high as the label lays its lines out: with some fonts that is more than their line spacing.
        const QString lines = QStringList(kKeyLines, QStringLiteral("M")).join(QLatin1Char('\n'));
        setFixedHeight(QFontMetrics(font()).boundingRect(QRect(0, 0, 1 << 16, 1 << 16), Qt::AlignLeft | Qt::AlignTop, lines).height() + 2);
        setAccessibleDescription("Public key");
    }
    // A screen reader hears the whole key, not the shortened lines.
    void setKey(const QString& key) {
        key_ = key;
        setAccessibleName(key);
        relayout();
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        relayout();
    }

private:
    void relayout() {
        // Fractional advances: a line of whole-pixel estimates would run past the label's edge.
        const qreal advance = std::max<qreal>(1, QFontMetricsF(font()).horizontalAdvance(QStringLiteral("MMMMMMMMMM")) / 10);
        setText(SSHKeySheet::keyInLines(key_, std::max(8, int((contentsRect().width() - 1) / advance))));
    }
    QString key_;
};

QLabel* captionLabel(const QString& text, const QString& name) {
    auto* label = styledLabel(text, TextStyle::caption, QFont::Normal, true);
    label->setObjectName(name);
    label->setAccessibleName(text);
    label->setWordWrap(true);
    return label;
}

}  // namespace

QString SSHKeySheet::keyInLines(const QString& key, int perLine) {
    QString shown = key;
    const qsizetype room = qsizetype(kKeyLines) * perLine;
    if (shown.size() > room) {
        const qsizetype kept = room - 1;
        const qsizetype head = (kept + 1) / 2;
        shown = key.left(head) + QChar(0x2026) + key.right(kept - head);
    }
    for (qsizetype at = perLine; at < shown.size(); at += perLine + 1) shown.insert(at, '\n');
    return shown;
}

SSHKeySheet::SSHKeySheet(AppModel& app, QWidget* parent, std::shared_ptr<FileChooser> chooser)
    : Sheet(parent, QStringLiteral("New SSH Key")),
      model_(new SSHKeySheetModel(app, this)),
      chooser_(chooser ? std::move(chooser) : std::make_shared<LiveFileChooser>(this)),
      timers_(&app.timers()) {
    setObjectName("sshKeySheet");
    setAccessibleName("New SSH Key");

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* header = new QHBoxLayout;
    header->setContentsMargins(20, 20, 20, 12);
    header->setSpacing(12);
    glyph_ = new ItemGlyph("key.horizontal.fill", TierStyle::of(model_->tierID()).tint, 34);
    glyph_->setObjectName("sshKeyGlyph");
    glyph_->setAccessibleName("SSH key");
    header->addWidget(glyph_);
    title_ = styledLabel("New SSH Key", TextStyle::title3, QFont::DemiBold);
    title_->setObjectName("sshKeyTitle");
    title_->setAccessibleName(title_->text());
    header->addWidget(title_);
    header->addStretch(1);
    outer->addLayout(header);

    steps_ = new QStackedWidget;
    steps_->addWidget(formStep());
    steps_->addWidget(successStep());
    // The sheet is sized for the step it shows, not the larger of the two.
    success_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    outer->addWidget(steps_, 1);

    connect(model_, &SSHKeySheetModel::tierIDChanged, this, [this] {
        glyph_->setTint(TierStyle::of(model_->tierID()).tint);
        tiers_->setTierID(model_->tierID());
    });
    for (auto changed : {&SSHKeySheetModel::formValidChanged, &SSHKeySheetModel::busyChanged, &SSHKeySheetModel::errorChanged}) {
        connect(model_, changed, this, &SSHKeySheet::refreshForm);
    }
    connect(model_, &SSHKeySheetModel::generatedChanged, this, &SSHKeySheet::showStep);
    for (auto changed : {&SSHKeySheetModel::installedPathChanged, &SSHKeySheetModel::errorChanged}) {
        connect(model_, changed, this, &SSHKeySheet::refreshInstall);
    }
    refreshForm();
    fitDesignedSize({kWidth, kFormHeight});
}

QWidget* SSHKeySheet::formStep() {
    auto* step = new QWidget;
    step->setObjectName("sshKeyForm");
    auto* layout = new QVBoxLayout(step);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* sections = new QVBoxLayout;
    sections->setContentsMargins(20, 0, 20, 12);
    sections->setSpacing(12);

    auto* details = new FormSection("Details");
    details->setObjectName("sshKeyDetails");
    auto* name = namedLineEdit("sshKeyName", "Name", false);
    name->setPlaceholderText("acme-deploy");
    connect(name, &QLineEdit::textChanged, model_, &SSHKeySheetModel::setName);
    details->form()->addRow("Name", name);
    auto* type = new QComboBox;
    type->setObjectName("sshKeyType");
    type->setAccessibleName("Key type");
    type->addItem(QStringLiteral("Ed25519 \u2014 recommended"), QVariant::fromValue(static_cast<int>(SSHKeyType::ed25519)));
    type->addItem(QStringLiteral("RSA 4096 \u2014 legacy servers"), QVariant::fromValue(static_cast<int>(SSHKeyType::rsa4096)));
    connect(type, &QComboBox::currentIndexChanged, this,
            [this, type] { model_->setKeyType(static_cast<SSHKeyType>(type->currentData().toInt())); });
    details->form()->addRow("Key type", type);
    sections->addWidget(details);

    auto* passphrase = new FormSection("Passphrase");
    passphrase->setObjectName("sshKeyPassphraseSection");
    auto* first = namedLineEdit("sshKeyPassphrase", "Passphrase (optional)", true);
    connect(first, &QLineEdit::textChanged, model_, &SSHKeySheetModel::setPassphrase);
    passphrase->form()->addRow("Passphrase (optional)", first);
    auto* second = namedLineEdit("sshKeyPassphraseConfirm", "Confirm passphrase", true);
    connect(second, &QLineEdit::textChanged, model_, &SSHKeySheetModel::setPassphraseConfirm);
    passphrase->form()->addRow("Confirm passphrase", second);
    passphrase->form()->addRow(captionLabel("Encrypts the private key itself (OpenSSH format). Leave empty for none; "
                                            "ssh-keygen requires at least 5 characters otherwise.",
                                            "sshKeyPassphraseHelp"));
    sections->addWidget(passphrase);

    auto* access = new FormSection("AI Access");
    access->setObjectName("sshKeyAccess");
    tiers_ = new TierChipPicker(model_->tierID());
    tiers_->setObjectName("sshKeyTier");
    connect(tiers_, &TierChipPicker::tierIDChanged, model_, &SSHKeySheetModel::setTierID);
    access->form()->addRow(tiers_);
    sections->addWidget(access);
    sections->addStretch(1);
    layout->addLayout(sections, 1);

    layout->addWidget(new SheetDivider);
    auto* bottom = new QVBoxLayout;
    bottom->setContentsMargins(20, 14, 20, 16);
    bottom->setSpacing(10);
    formError_ = new ErrorLabel;
    formError_->setObjectName("sshKeyFormError");
    bottom->addWidget(formError_);
    auto* buttons = new QHBoxLayout;
    auto* cancel = new QPushButton("Cancel");
    cancel->setObjectName("sshKeyCancel");
    cancel->setAccessibleName("Cancel");
    cancel->setAutoDefault(false);
    cancel->setMinimumHeight(34);  // level with the primary button beside it
    connect(cancel, &QPushButton::clicked, this, &SSHKeySheet::reject);
    buttons->addWidget(cancel);
    buttons->addStretch(1);
    // The spinner stands before the title inside the button while a key is being made.
    generate_ = vaelPrimaryButton(new QPushButton);
    generate_->setObjectName("sshKeyGenerate");
    generate_->setAccessibleName("Generate & Store");
    generate_->setMinimumWidth(110);
    generate_->setDefault(true);
    auto* inside = new QHBoxLayout(generate_);
    inside->setContentsMargins(16, 0, 16, 0);
    inside->setSpacing(6);
    inside->addStretch(1);
    spinner_ = new BusySpinner(12);
    spinner_->setObjectName("sshKeyGenerating");
    inside->addWidget(spinner_);
    auto* label = new QLabel("Generate & Store");
    label->setTextFormat(Qt::PlainText);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->setStyleSheet("color: white; font-weight: 600; background: transparent;");
    inside->addWidget(label);
    inside->addStretch(1);
    generate_->setMinimumWidth(std::max(110, label->sizeHint().width() + 12 + 6 + 32));
    connect(generate_, &QPushButton::clicked, model_, [this] { model_->generate(); });
    buttons->addWidget(generate_);
    bottom->addLayout(buttons);
    layout->addLayout(bottom);
    return step;
}

QWidget* SSHKeySheet::successStep() {
    success_ = new QWidget;
    success_->setObjectName("sshKeySuccess");
    auto* layout = new QVBoxLayout(success_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* sections = new QVBoxLayout;
    sections->setContentsMargins(20, 0, 20, 12);
    sections->setSpacing(12);

    storedLine_ = new QLabel;
    storedLine_->setTextFormat(Qt::PlainText);
    storedLine_->setObjectName("sshKeyStored");
    sections->addWidget(symbolRow("checkmark.seal.fill", systemColor(SystemColor::green, palette()), storedLine_));

    auto* keySection = new FormSection("Public key");
    keySection->setObjectName("sshKeyPublicSection");
    auto* keyRow = new QWidget;
    auto* keyLayout = new QHBoxLayout(keyRow);
    keyLayout->setContentsMargins(0, 0, 0, 0);
    keyLayout->setSpacing(8);
    auto* key = new PublicKeyLabel;
    key->setObjectName("sshKeyPublic");
    publicKey_ = key;
    keyLayout->addWidget(key, 1, Qt::AlignTop);
    auto* copy = new CopyButton(
        "Copy public key",
        [this] { return model_->generated() ? QString::fromStdString(model_->generated()->publicKey) : QString(); },
        *timers_);
    copy->setObjectName("sshKeyCopyPublic");
    keyLayout->addWidget(copy, 0, Qt::AlignTop);
    keySection->form()->addRow(keyRow);
    sections->addWidget(keySection);

    installOffer_ = new QWidget;
    auto* offer = new QVBoxLayout(installOffer_);
    offer->setContentsMargins(0, 0, 0, 0);
    offer->setSpacing(6);
    auto* installButton = new QPushButton(SymbolCatalog::icon("square.and.arrow.down", palette().color(QPalette::ButtonText)),
                                          QStringLiteral("Install to ~/.ssh\u2026"));
    installButton->setObjectName("sshKeyInstall");
    installButton->setAccessibleName(installButton->text());
    installButton->setAutoDefault(false);
    connect(installButton, &QPushButton::clicked, this, &SSHKeySheet::install);
    offer->addWidget(installButton, 0, Qt::AlignLeft);
    installCaption_ = captionLabel({}, "sshKeyInstallCaption");
    offer->addWidget(installCaption_);
    sections->addWidget(installOffer_);

    installedLine_ = styledLabel({}, TextStyle::callout);
    installedLine_->setObjectName("sshKeyInstalled");
    installedRow_ = symbolRow("checkmark.circle.fill", systemColor(SystemColor::green, palette()), installedLine_);
    installedRow_->hide();
    sections->addWidget(installedRow_);
    installError_ = new ErrorLabel;
    installError_->setObjectName("sshKeyInstallError");
    sections->addWidget(installError_);
    sections->addStretch(1);
    layout->addLayout(sections, 1);

    layout->addWidget(new SheetDivider);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(20, 14, 20, 16);
    buttons->addStretch(1);
    auto* done = vaelPrimaryButton(new QPushButton("Done"));
    done->setObjectName("sshKeyDone");
    done->setAccessibleName("Done");
    connect(done, &QPushButton::clicked, this, &SSHKeySheet::accept);
    buttons->addWidget(done);
    layout->addLayout(buttons);
    return success_;
}

void SSHKeySheet::refreshForm() {
    generate_->setEnabled(model_->formValid() && !model_->busy());
    spinner_->setVisible(model_->busy());
    if (!model_->generated()) formError_->setMessage(model_->error());
}

void SSHKeySheet::showStep() {
    if (!model_->generated()) return;
    steps_->setCurrentWidget(success_);
    success_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    steps_->widget(0)->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    fitDesignedSize({kWidth, kSuccessHeight});
    title_->setText("SSH Key Created");
    title_->setAccessibleName(title_->text());
    setWindowTitle(title_->text());
    storedLine_->setText(model_->storedLine());
    storedLine_->setAccessibleName(storedLine_->text());
    static_cast<PublicKeyLabel*>(publicKey_)->setKey(QString::fromStdString(model_->generated()->publicKey));
    installCaption_->setText(model_->installCaption());
    installCaption_->setAccessibleName(installCaption_->text());
    auto* done = success_->findChild<QPushButton*>("sshKeyDone");
    generate_->setDefault(false);
    done->setDefault(true);
    done->setFocus();
    refreshInstall();
}

void SSHKeySheet::refreshInstall() {
    if (!model_->generated()) return;
    const auto& path = model_->installedPath();
    installOffer_->setVisible(!path);
    installedRow_->setVisible(path.has_value());
    if (path) {
        installedLine_->setText("Installed at " + *path);
        installedLine_->setAccessibleName(installedLine_->text());
    }
    installError_->setMessage(model_->error());
}

void SSHKeySheet::install() {
    model_->install(chooser_->chooseFolder("Install SSH Key", model_->installPanelMessage(),
                                           SSHKeySheetModel::installStartFolder(), "Install"));
}

}  // namespace vael
