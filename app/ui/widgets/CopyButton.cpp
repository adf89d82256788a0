#include "app/ui/widgets/CopyButton.h"

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>

#include <algorithm>

#include "app/ui/design/MotionPreference.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/widgets/DisplayText.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {

CopyFeedback::CopyFeedback(TimerSource& timers, std::function<void(bool)> show)
    : timers_(timers), show_(std::move(show)) {}

void CopyFeedback::copy(const QString& text) {
    // Replaces every format on the clipboard with this one text.
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
    // Timers that already fired are dropped here, never inside their own callback.
    std::erase_if(armed_, [](const auto& timer) { return !timer->isActive(); });
    auto timer = timers_.makeTimer();
    timer->start(kDuration, [this] { set(false); });
    armed_.push_back(std::move(timer));
    set(true);
}

void CopyFeedback::set(bool copied) {
    if (copied == copied_) return;
    copied_ = copied;
    show_(copied);
}

namespace {

// Both buttons swap their symbol alike, on a short spring: the new one comes in from faint.
void swapSymbol(QObject* button, QVariantAnimation*& motion, std::function<void(double opacity)> paint) {
    MotionPreference::animate(button, motion, 0.2, 1.0, CopyButton::kSymbolMotionMs, MotionPreference::spring(),
                              std::move(paint));
}

QColor faded(QColor colour, qreal opacity) {
    colour.setAlphaF(float(colour.alphaF() * std::clamp<qreal>(opacity, 0, 1)));
    return colour;
}

}  // namespace

CopyButton::CopyButton(QString help, std::function<QString()> value, TimerSource& timers, QWidget* parent)
    : QToolButton(parent),
      help_(std::move(help)),
      value_(std::move(value)),
      feedback_(timers, [this](bool copied) {
          show(copied);
          swapSymbol(this, symbolMotion_, [this](double opacity) { paintSymbol(opacity); });
      }) {
    setAutoRaise(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setIconSize(QSize(16, 16));
    connect(this, &QToolButton::clicked, this, [this] { feedback_.copy(value_ ? value_() : QString()); });
    show(false);
}

void CopyButton::paintSymbol(qreal opacity) {
    const QColor tint = isCopied() ? systemColor(SystemColor::green, palette()) : VaelTheme::secondaryText(palette());
    setIcon(SymbolCatalog::icon(isCopied() ? "checkmark" : "doc.on.doc", faded(tint, opacity), 16));
}

void CopyButton::show(bool copied) {
    const QColor tint = copied ? systemColor(SystemColor::green, palette()) : VaelTheme::secondaryText(palette());
    setIcon(SymbolCatalog::icon(copied ? "checkmark" : "doc.on.doc", tint, 16));
    const QString label = copied ? QStringLiteral("Copied") : help_;
    setToolTip(plainToolTip(label));  // the help names a stored field
    setAccessibleName(copied || spoken_.isEmpty() ? label : spoken_);
}

void CopyButton::setSpokenName(const QString& name) {
    spoken_ = name;
    show(isCopied());
}

void CopyButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) show(isCopied());
    QToolButton::changeEvent(event);
}

AICopyButton::AICopyButton(std::function<QString()> value, TimerSource& timers, QWidget* parent)
    : QPushButton(parent), value_(std::move(value)), feedback_(timers, [this](bool copied) {
          show(copied);
          swapSymbol(this, symbolMotion_, [this](double opacity) { paintSymbol(opacity); });
      }) {
    setFont(VaelFont::style(TextStyle::callout, QFont::DemiBold));
    setToolTip(
        QStringLiteral("Copy an AI-ready handoff: field refs, access tier, and usage \u2014 never secret values"));
    setIconSize(QSize(14, 14));
    connect(this, &QPushButton::clicked, this, [this] { feedback_.copy(value_ ? value_() : QString()); });
    show(false);
}

void AICopyButton::show(bool copied) {
    // A style sheet changes the palette, which calls back here.
    if (restyling_) return;
    restyling_ = true;
    const QColor tint = systemColor(copied ? SystemColor::green : SystemColor::purple, palette());
    const QString title = copied ? QStringLiteral("Copied") : QStringLiteral("Copy for AI");
    setText(title);
    setAccessibleName(title);
    paintSymbol(1.0);
    QColor border = tint;
    border.setAlphaF(0.5f);
    QColor fill = tint;
    fill.setAlphaF(0.12f);
    setStyleSheet(QStringLiteral("QPushButton { color: %1; background: %2; border: 1px solid %3; border-radius: 6px;"
                                 " padding: 4px 10px; }")
                      .arg(tint.name(), fill.name(QColor::HexArgb), border.name(QColor::HexArgb)));
    restyling_ = false;
}

void AICopyButton::paintSymbol(qreal opacity) {
    const QColor tint = systemColor(isCopied() ? SystemColor::green : SystemColor::purple, palette());
    setIcon(SymbolCatalog::icon(isCopied() ? "checkmark" : "sparkles", faded(tint, opacity), 14));
}

void AICopyButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) show(isCopied());
    QPushButton::changeEvent(event);
}

}  // namespace vael
