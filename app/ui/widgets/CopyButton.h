#pragma once

// The only way views put text on the clipboard. A tap writes the value (read at the tap) as the
// clipboard's one plain-text entry and shows "Copied" for 1.4 s from the first of quick taps.
// Nothing clears the clipboard later; the X11 selection is never written.

#include <QPushButton>
#include <QToolButton>

#include <functional>
#include <memory>
#include <vector>

#include "app/model/ModelTime.h"

class QVariantAnimation;

namespace vael {

// Each tap arms its own single-shot timer from the model's timer source; the first to fire ends
// the copied state.
class CopyFeedback {
public:
    static constexpr std::chrono::milliseconds kDuration{1400};
    CopyFeedback(TimerSource& timers, std::function<void(bool copied)> show);
    // Writes `text` to the clipboard and shows the copied state.
    void copy(const QString& text);
    bool isCopied() const { return copied_; }

private:
    void set(bool copied);
    TimerSource& timers_;
    std::function<void(bool)> show_;
    std::vector<std::unique_ptr<ModelTimer>> armed_;
    bool copied_ = false;
};

// A symbol-only button beside a value: "doc.on.doc", then a green "checkmark". Tooltip and
// accessible name: `help`, then "Copied".
class CopyButton : public QToolButton {
public:
    static constexpr int kSymbolMotionMs = 350;
    CopyButton(QString help, std::function<QString()> value, TimerSource& timers, QWidget* parent = nullptr);
    bool isCopied() const { return feedback_.isCopied(); }
    // The idle name a screen reader hears where the help alone ("Copy") would not tell two buttons
    // of one card apart; the tooltip stays the help.
    void setSpokenName(const QString& name);

protected:
    void changeEvent(QEvent* event) override;

private:
    void show(bool copied);
    void paintSymbol(qreal opacity);
    QString help_;
    QString spoken_;
    std::function<QString()> value_;
    CopyFeedback feedback_;
    QVariantAnimation* symbolMotion_ = nullptr;  // the new symbol fading in over the old
};

// The labelled "Copy for AI" button of the item header, purple, then a green "Copied".
class AICopyButton : public QPushButton {
public:
    AICopyButton(std::function<QString()> value, TimerSource& timers, QWidget* parent = nullptr);
    bool isCopied() const { return feedback_.isCopied(); }

protected:
    void changeEvent(QEvent* event) override;

private:
    void show(bool copied);
    void paintSymbol(qreal opacity);
    std::function<QString()> value_;
    CopyFeedback feedback_;
    bool restyling_ = false;
    QVariantAnimation* symbolMotion_ = nullptr;  // as the copy button's
};

}  // namespace vael
