#include "app/ui/shell/SettingsView.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/model/AppModel.h"
#include "app/ui/widgets/FormSection.h"
#include "app/ui/widgets/Labels.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {

namespace {

// A symbol and a title, as a form row's label.
QWidget* symbolTitle(const std::string& symbol, const QColor& tint, const QString& title) {
    auto* holder = new QWidget;
    auto* row = new QHBoxLayout(holder);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    row->addWidget(symbolLabel(symbol, tint, 16));
    row->addWidget(styledLabel(title, TextStyle::body));
    row->addStretch(1);
    holder->setAccessibleName(title);
    return holder;
}

// One display-only unlock-method row: the tinted symbol and title, the detail on the trailing side.
QWidget* methodRow(QFormLayout* form, const QString& title, const std::string& symbol, const QString& detail,
                   const QColor& tint) {
    auto* label = symbolTitle(symbol, tint, title);
    auto* value = styledLabel(detail, TextStyle::caption, QFont::Normal, true);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->setAccessibleName(detail);
    form->addRow(label, value);
    return label;
}

// A control under its label, the title over a wrapping caption 2 points apart, the control on the
// trailing side of the title; one full-width row, so the caption wraps in the section's whole width
// and a larger font never squeezes the label column to nothing.
QWidget* labelledControl(const QString& title, const QString& caption, QWidget* control) {
    auto* holder = new QWidget;
    auto* grid = new QGridLayout(holder);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(2);
    grid->addWidget(styledLabel(title, TextStyle::body), 0, 0);
    grid->addWidget(control, 0, 1, Qt::AlignRight | Qt::AlignVCenter);
    auto* line = styledLabel(caption, TextStyle::caption, QFont::Normal, true);
    line->setWordWrap(true);
    grid->addWidget(line, 1, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    control->setAccessibleDescription(caption);
    return holder;
}

}  // namespace

QSize SettingsView::sizeHint() const {
    const int width = std::max(460, page_->minimumSizeHint().width());
    const int height = page_->hasHeightForWidth() ? page_->heightForWidth(width) : page_->sizeHint().height();
    return {width, std::max(420, height)};
}

QString SettingsView::versionText() {
    const QString version = QCoreApplication::applicationVersion();
    return "Version " + (version.isEmpty() ? QStringLiteral("1.0") : version);
}

SettingsView::SettingsView(AppModel& app, QWidget* parent) : QWidget(parent), app_(app) {
    setObjectName("settings");
    setWindowTitle("Settings");
    setMinimumSize(460, 420);
    QPalette tinted = palette();
    tinted.setColor(QPalette::Highlight, VaelTheme::brand());
    setPalette(tinted);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // Focus goes to the controls inside, never to the unnamed frame around them.
    scroll->setFocusPolicy(Qt::NoFocus);
    outer->addWidget(scroll);
    auto* page = new QWidget;
    page_ = page;
    scroll->setWidget(page);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(12, 10, 12, 10);
    column->setSpacing(6);

    auto* methods = new FormSection("Unlock methods");
    methods_ = methods->form();
    methodRow(methods_, "Master passphrase", "key.fill", "Durable root", VaelTheme::brand());
    securityKeyRow_ =
        methodRow(methods_, "Security key", "touchid", "Convenience", systemColor(SystemColor::pink, palette()));
    securityKeyRow_->setObjectName("settings.securityKeyRow");
    column->addWidget(methods);

    auto* security = new FormSection("Security");
    autoLock_ = named(new QComboBox, "settings.autoLock", "Auto-lock");
    const char* choices[] = {"Never", "After 15 minutes", "After 1 hour", "After 4 hours"};
    for (int i = 0; i < 4; ++i) autoLock_->addItem(choices[i], kAutoLockChoices[i]);
    connect(autoLock_, &QComboBox::activated, this, [this](int index) {
        if (index >= 0) app_.setAutoLockMinutes(autoLock_->itemData(index).toInt());
    });
    security->form()->addRow(labelledControl("Auto-lock",
                                             "Lock the vault when you and your AI agents have been inactive. Sleep "
                                             "and the lock screen always lock immediately.",
                                             autoLock_));
    column->addWidget(security);

    auto* ai = new FormSection("AI access");
    killSwitch_ = named(new QCheckBox("Kill switch"), "settings.killSwitch", "Kill switch");
    tintCheckBox(killSwitch_, systemColor(SystemColor::orange, palette()));
    connect(killSwitch_, &QCheckBox::toggled, this, [this](bool on) { app_.setKillSwitchEnabled(on); });
    auto* killCaption =
        styledLabel("Pause all agentic secret use. Agents keep their references but can't inject or reveal any value.",
                    TextStyle::caption, QFont::Normal, true);
    killCaption->setWordWrap(true);
    auto* killColumn = new QVBoxLayout;
    killColumn->setSpacing(2);
    killColumn->addWidget(killSwitch_);
    killColumn->addWidget(killCaption);
    ai->form()->addRow(killColumn);
    column->addWidget(ai);

    auto* server = new FormSection("Server");
    auto* statusHolder = new QWidget;
    auto* statusRow = new QHBoxLayout(statusHolder);
    statusRow->setContentsMargins(0, 0, 0, 0);
    statusRow->setSpacing(6);
    statusRow->addStretch(1);
    statusIcon_ = new QLabel;
    statusIcon_->setFixedSize(16, 16);
    statusRow->addWidget(statusIcon_);
    status_ = new QLabel;
    status_->setObjectName("settings.serverStatus");
    status_->setTextFormat(Qt::PlainText);
    statusRow->addWidget(status_);
    server->form()->addRow(styledLabel("Status", TextStyle::body), statusHolder);
    column->addWidget(server);

    auto* about = new FormSection(QString());
    auto* version = styledLabel(versionText(), TextStyle::body, QFont::Normal, true);
    version->setObjectName("settings.version");
    version->setAccessibleName(versionText());
    version->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    about->form()->addRow(styledLabel("Vael", TextStyle::body), version);
    column->addWidget(about);
    column->addStretch(1);

    connect(&app_, &AppModel::isPasskeyEnrolledChanged, this, [this] { refresh(); });
    connect(&app_, &AppModel::isServerConnectedChanged, this, [this] { refresh(); });
    connect(&app_, &AppModel::autoLockMinutesChanged, this, [this] { refresh(); });
    connect(&app_, &AppModel::killSwitchEnabledChanged, this, [this] { refresh(); });
    refresh();
    autoLock_->setFocus(Qt::OtherFocusReason);
}

void SettingsView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange && status_) refresh();
    QWidget::changeEvent(event);
}

void SettingsView::refresh() {
    methods_->setRowVisible(securityKeyRow_, app_.isPasskeyEnrolled());
    // A stored value outside the choices selects none.
    autoLock_->setCurrentIndex(autoLock_->findData(int(app_.autoLockMinutes())));
    killSwitch_->setChecked(app_.killSwitchEnabled());
    const bool connected = app_.isServerConnected();
    const QColor tint = connected ? systemColor(SystemColor::green, palette()) : VaelTheme::secondaryText(palette());
    statusIcon_->setPixmap(
        SymbolCatalog::pixmap(connected ? "checkmark.seal.fill" : "externaldrive.fill", tint, 16, 2.0));
    status_->setText(connected ? "Connected" : "Local only");
    status_->setAccessibleName(status_->text());
    QPalette pal = status_->palette();
    pal.setColor(QPalette::WindowText, tint);
    status_->setPalette(pal);
}

}  // namespace vael
