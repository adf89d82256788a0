#include "app/ui/shell/OnboardingView.h"

#include <QAbstractAnimation>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStyle>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include "app/model/AppModel.h"
#include "app/model/shell/OnboardingViewModel.h"
#include "app/ui/widgets/BusySpinner.h"
#include "app/ui/widgets/ErrorLabel.h"
#include "app/ui/widgets/Labels.h"
#include "app/ui/widgets/SecretField.h"
#include "app/ui/design/MotionPreference.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelComponents.h"

namespace vael {

namespace {

// Runs the create action and, on failure, puts the application's sentence under the card.
QCoro::Task<> createVault(QPointer<OnboardingViewModel> vm, AppModel& app) {
    std::string failure;
    try {
        co_await vm->createVault();
        // A sentence left by an earlier attempt on this screen no longer holds.
        if (vm && vm->newVault()) app.setErrorMessage(std::nullopt);
        co_return;
    } catch (const std::exception& error) {
        failure = error.what();
    }
    if (vm) app.setErrorMessage("Could not create the vault: " + failure);
}

// A check box over a caption line in the secondary colour.
QWidget* switchWithCaption(QCheckBox* box, const QString& caption) {
    auto* holder = new QWidget;
    auto* column = new QVBoxLayout(holder);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addWidget(box);
    auto* line = styledLabel(caption, TextStyle::caption, QFont::Normal, true);
    line->setWordWrap(true);
    line->setContentsMargins(box->style()->pixelMetric(QStyle::PM_IndicatorWidth) + 6, 0, 0, 0);
    column->addWidget(line);
    return holder;
}

}  // namespace

OnboardingView* OnboardingView::forModel(AppModel& app, QWidget* parent) {
    auto* vm = new OnboardingViewModel(app.passphraseCost());
    return new OnboardingView(
        app, vm,
        [&app](const NewVault& vault, const QString& passphrase) {
            const QByteArray utf8 = passphrase.toUtf8();
            app.completeOnboarding(vault, SecureBytes(std::string_view(utf8.constData(), std::size_t(utf8.size()))));
        },
        parent);
}

OnboardingView::OnboardingView(AppModel& app, OnboardingViewModel* vm, Finished onFinished, QWidget* parent)
    : QWidget(parent), app_(app), vm_(vm), onFinished_(std::move(onFinished)) {
    vm_->setParent(this);
    setObjectName("onboarding");
    setMinimumSize(600, 660);

    auto* background = new AuthBackground;
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(background);

    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->viewport()->setAutoFillBackground(false);
    auto* backgroundLayout = new QVBoxLayout(background);
    backgroundLayout->setContentsMargins(0, 0, 0, 0);
    backgroundLayout->addWidget(scroll);

    auto* page = new QWidget;
    auto* centring = new QHBoxLayout(page);
    // The cards' shadow needs room inside the column, or the column's edge would cut it off.
    constexpr int kShadowRoom = 16;
    centring->setContentsMargins(24 - kShadowRoom, 36, 24 - kShadowRoom, 36);
    auto* columnHolder = new QWidget;
    columnHolder->setMaximumWidth(480 + 2 * kShadowRoom);
    centring->addStretch(1);
    centring->addWidget(columnHolder, 100);
    centring->addStretch(1);
    scroll->setWidget(page);
    page->setAutoFillBackground(false);  // the background shows through the scroll area

    auto* column = new QVBoxLayout(columnHolder);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(24);
    auto* header = new QVBoxLayout;
    header->setSpacing(12);
    header->addWidget(new BrandMark(72, true), 0, Qt::AlignHCenter);
    auto* tagline = styledLabel(
        "A self-hosted, zero-knowledge vault. Everything is encrypted on this computer \u2014 the server only ever "
        "stores ciphertext.",
        TextStyle::callout, QFont::Normal, true);
    tagline->setObjectName("onboarding.tagline");
    tagline->setAlignment(Qt::AlignCenter);
    tagline->setWordWrap(true);
    tagline->setFixedWidth(380);
    // Centred at a fixed width, it is laid out at its hinted height: ask for all its lines.
    tagline->setMinimumHeight(tagline->heightForWidth(380));
    header->addWidget(tagline, 0, Qt::AlignHCenter);
    column->addLayout(header);

    cards_ = new QStackedWidget;
    cards_->setContentsMargins(kShadowRoom, 0, kShadowRoom, kShadowRoom);
    cards_->addWidget(buildCreateCard());
    cards_->addWidget(buildRecoveryCard());
    cardSwap_ = new QVariantAnimation(this);
    connect(cardSwap_, &QVariantAnimation::finished, this, [this] { showCardSwap(1.0); });
    // The sentence sits right under the card, in the room its shadow leaves.
    auto* cardColumn = new QVBoxLayout;
    cardColumn->setSpacing(0);
    cardColumn->addWidget(cards_);
    error_ = new ErrorLabel;
    error_->setContentsMargins(kShadowRoom, 0, kShadowRoom, 0);
    error_->setObjectName("onboarding.error");
    cardColumn->addWidget(error_);
    column->addLayout(cardColumn);
    column->addStretch(1);

    connect(vm_, &OnboardingViewModel::passphraseChanged, this, [this] { refresh(); });
    connect(vm_, &OnboardingViewModel::generatedPassphraseChanged, this, [this] { refresh(); });
    connect(vm_, &OnboardingViewModel::passphraseGenerationErrorChanged, this, [this] { refresh(); });
    connect(vm_, &OnboardingViewModel::newVaultChanged, this, [this] { refresh(); });
    connect(vm_, &OnboardingViewModel::canFinishChanged, this, [this] { refresh(); });
    connect(vm_, &OnboardingViewModel::creatingChanged, this, [this] { refresh(); });
    connect(vm_, &OnboardingViewModel::acknowledgedSavedChanged, this, [this] { refresh(); });
    connect(vm_, &OnboardingViewModel::withEscrowChanged, this, [this] { refresh(); });
    connect(vm_, &OnboardingViewModel::recoveryCodeChanged, this, [this] {
        refresh();
        MotionPreference::animate(this, cardSwap_, 0.0, 1.0, kCardSwapMs, MotionPreference::spring(),
                                  [this](double progress) { showCardSwap(progress); });
        // The first frame comes with the next tick; the card must not flash in fully before it.
        if (isSwappingCards()) showCardSwap(0.0);
    });
    connect(vm_, &OnboardingViewModel::recoveryPhraseChanged, this, [this] { refresh(); });
    connect(&app_, &AppModel::errorMessageChanged, this, [this] {
        error_->setMessage(app_.errorMessage());
        // The opening failed: the button may be pressed again.
        if (finishing_ && app_.errorMessage()) {
            finishing_ = false;
            refresh();
        }
    });
    error_->setMessage(app_.errorMessage());
    refresh();
}

QWidget* OnboardingView::buildCreateCard() {
    auto* card = new VaelCard(24);
    card->setObjectName("onboarding.createCard");
    auto* column = card->contentLayout();
    column->setSpacing(14);

    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(8);
    const QFont titleFont = VaelFont::style(TextStyle::title3, QFont::DemiBold);
    titleRow->addWidget(
        symbolLabel("sparkles", palette().color(QPalette::WindowText), QFontMetrics(titleFont).height()));
    titleRow->addWidget(styledLabel("Create your vault", TextStyle::title3, QFont::DemiBold), 1);
    column->addLayout(titleRow);

    auto* fieldRow = new QHBoxLayout;
    fieldRow->setSpacing(8);
    passphrase_ = passphraseField("onboarding.passphrase");
    connect(passphrase_, &QLineEdit::textEdited, vm_, &OnboardingViewModel::setPassphrase);
    connect(passphrase_, &QLineEdit::returnPressed, this, [this] { create(); });
    fieldRow->addWidget(passphrase_, 1);
    generate_ = named(new QPushButton("Generate"), "onboarding.generate", "Generate");
    generate_->setIcon(SymbolCatalog::icon("wand.and.sparkles", palette().color(QPalette::ButtonText), 16));
    generate_->setMinimumHeight(34);
    connect(generate_, &QPushButton::clicked, vm_, &OnboardingViewModel::generatePassphrase);
    fieldRow->addWidget(generate_);
    column->addLayout(fieldRow);

    auto* hint = styledLabel("Your durable root. There's no reset \u2014 choose something strong and memorable.",
                             TextStyle::caption, QFont::Normal, true);
    hint->setWordWrap(true);
    column->addWidget(hint);

    generated_ = new SecretField("Generated passphrase", app_.timers());
    generated_->setObjectName("onboarding.generated");
    column->addWidget(generated_);

    generationError_ = styledLabel(QString(), TextStyle::caption);
    generationError_->setObjectName("onboarding.generationError");
    QPalette red = generationError_->palette();
    red.setColor(QPalette::WindowText, systemColor(SystemColor::red, palette()));
    generationError_->setPalette(red);
    column->addWidget(generationError_);

    escrow_ =
        named(new QCheckBox("Create offline recovery escrow"), "onboarding.escrow", "Create offline recovery escrow");
    tintCheckBox(escrow_, VaelTheme::brand());
    connect(escrow_, &QCheckBox::toggled, vm_, &OnboardingViewModel::setWithEscrow);
    column->addWidget(
        switchWithCaption(escrow_, "A printable phrase that can recover the vault if you lose every device."));

    create_ = named(vaelPrimaryButton(new QPushButton("Create vault")), "onboarding.create", "Create vault");
    creatingSpinner_ = spinnerInButton(create_);
    creatingSpinner_->setObjectName("onboarding.creating");
    connect(create_, &QPushButton::clicked, this, [this] { create(); });
    column->addWidget(create_);
    return card;
}

QWidget* OnboardingView::buildRecoveryCard() {
    auto* card = new VaelCard(24);
    card->setObjectName("onboarding.recoveryCard");
    auto* column = card->contentLayout();
    column->setSpacing(14);

    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(10);
    const int shield = QFontMetrics(VaelFont::style(TextStyle::title2)).height() + 4;
    titleRow->addWidget(symbolLabel("exclamationmark.shield.fill", systemColor(SystemColor::orange, palette()), shield),
                        0, Qt::AlignTop);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    titles->addWidget(styledLabel("Save these now", TextStyle::title3, QFont::DemiBold));
    auto* warning = styledLabel("Shown only once. Store them somewhere safe \u2014 this is your break-glass recovery.",
                                TextStyle::caption, QFont::Normal, true);
    warning->setWordWrap(true);
    titles->addWidget(warning);
    titleRow->addLayout(titles, 1);
    column->addLayout(titleRow);

    recoveryCode_ = new SecretField("Recovery code", app_.timers());
    recoveryCode_->setObjectName("onboarding.recoveryCode");
    column->addWidget(recoveryCode_);
    escrowPhrase_ = new SecretField("Escrow phrase", app_.timers());
    escrowPhrase_->setObjectName("onboarding.escrowPhrase");
    column->addWidget(escrowPhrase_);

    acknowledge_ = named(new QCheckBox("I've stored these somewhere safe"), "onboarding.acknowledge",
                         "I've stored these somewhere safe");
    tintCheckBox(acknowledge_, VaelTheme::brand());
    connect(acknowledge_, &QCheckBox::toggled, vm_, &OnboardingViewModel::setAcknowledgedSaved);
    column->addWidget(acknowledge_);

    continue_ =
        named(vaelPrimaryButton(new QPushButton("Continue to vault")), "onboarding.continue", "Continue to vault");
    finishingSpinner_ = spinnerInButton(continue_);
    finishingSpinner_->setObjectName("onboarding.opening");
    connect(continue_, &QPushButton::clicked, this, [this] { finish(); });
    column->addWidget(continue_);
    return card;
}

void OnboardingView::refresh() {
    const auto& vm = *vm_;
    const bool created = vm.newVault().has_value();
    if (passphrase_->text() != vm.passphrase()) passphrase_->setText(vm.passphrase());
    // The passphrase a running creation uses must be the one handed on afterwards.
    passphrase_->setEnabled(!vm.creating());
    generate_->setEnabled(!created && !vm.creating());
    create_->setEnabled(!vm.passphrase().isEmpty() && !created && !vm.creating());
    generated_->setVisible(vm.generatedPassphrase().has_value());
    generated_->setValue(vm.generatedPassphrase().value_or(QString()));
    generationError_->setVisible(vm.passphraseGenerationError().has_value());
    generationError_->setText(vm.passphraseGenerationError().value_or(QString()));
    generationError_->setAccessibleName(generationError_->text());
    escrow_->setChecked(vm.withEscrow());

    recoveryCode_->setVisible(vm.recoveryCode().has_value());
    recoveryCode_->setValue(vm.recoveryCode().value_or(QString()));
    escrowPhrase_->setVisible(vm.recoveryPhrase().has_value());
    escrowPhrase_->setValue(vm.recoveryPhrase().value_or(QString()));
    acknowledge_->setChecked(vm.acknowledgedSaved());
    continue_->setEnabled(vm.canFinish() && !finishing_);
    creatingSpinner_->setVisible(vm.creating());
    finishingSpinner_->setVisible(finishing_);
    const int card = vm.recoveryCode() ? 1 : 0;
    if (card != cards_->currentIndex()) {
        cards_->setCurrentIndex(card);
        // The recovery card opens on the code itself, which a screen reader reads out.
        if (card == 1) recoveryCode_->setFocus(Qt::OtherFocusReason);
    }
}

bool OnboardingView::isSwappingCards() const { return cardSwap_->state() == QAbstractAnimation::Running; }

void OnboardingView::showCardSwap(double progress) {
    // A rise into place, no fade: the card's one graphics effect is its shadow, and effects on a
    // parent and a child at once do not paint together.
    constexpr int kRise = 24;
    QWidget* card = cards_->currentWidget();
    const QPoint home = cards_->contentsRect().topLeft();
    card->move(isSwappingCards() ? home + QPoint(0, qRound((1.0 - progress) * kRise)) : home);
}

void OnboardingView::create() {
    if (vm_->passphrase().isEmpty() || vm_->newVault() || vm_->creating()) return;
    createVault(QPointer<OnboardingViewModel>(vm_), app_);
}

void OnboardingView::finish() {
    if (!vm_->newVault() || finishing_) return;
    finishing_ = true;
    app_.setErrorMessage(std::nullopt);  // an earlier attempt's sentence; a new failure sets its own
    refresh();
    onFinished_(*vm_->newVault(), vm_->passphrase());
}

void OnboardingView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (focusedOnce_) return;
    focusedOnce_ = true;
    passphrase_->setFocus(Qt::OtherFocusReason);
}

// Return is the current card's main action wherever the focus is (the field handles its own).
void OnboardingView::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (passphrase_->hasFocus()) return;
    if (vm_->recoveryCode()) {
        if (vm_->canFinish() && !finishing_) finish();
    } else {
        create();
    }
}

}  // namespace vael
