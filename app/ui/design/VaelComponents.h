#pragma once

// The small shared views every screen is assembled from, drawn from the tokens in VaelTheme.

#include <QAbstractButton>
#include <QFrame>
#include <QPainterPath>
#include <QPen>
#include <QWidget>

#include <string>
#include <vector>

#include "app/ui/design/VaelTheme.h"

class QPushButton;
class QVBoxLayout;

namespace vael {

// An outline half a point wide: one device pixel at 2x, and never thinner than one device pixel.
QPen hairline(const QColor& colour, const QPaintDevice& device);
// The rectangle a hairline outlines `rect` along, its stroke inside the widget's edge.
QRectF hairlineBox(const QRect& rect, const QPen& pen);

// An item's icon: the symbol on a rounded square of its tint at 16 %.
class ItemGlyph : public QWidget {
public:
    ItemGlyph(std::string symbol, DynamicColor tint, int size, QWidget* parent = nullptr);
    void setSymbol(std::string symbol);
    void setTint(DynamicColor tint);
    const std::string& symbol() const { return symbol_; }
    QSize sizeHint() const override { return {size_, size_}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::string symbol_;
    DynamicColor tint_;
    int size_;
};

// A capsule with the tier's symbol and (unless compact) its title. Reads "AI access: <title>".
class TierBadge : public QWidget {
public:
    explicit TierBadge(const TierStyle& tier, bool compact = false, QWidget* parent = nullptr);
    void setTier(const TierStyle& tier);
    const TierStyle& tier() const { return tier_; }
    bool isCompact() const { return compact_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    TierStyle tier_;
    bool compact_;
};

// Three chips, one per tier; the checked chip is the one whose id equals tierID exactly.
class TierChipPicker : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString tierID READ tierID WRITE setTierID NOTIFY tierIDChanged)

public:
    explicit TierChipPicker(QString tierID = TierStyle::humanGated().id, QWidget* parent = nullptr);
    const QString& tierID() const { return tierID_; }
    // Signals only on change; an unknown id checks no chip.
    void setTierID(const QString& id);
    // Chips in TierStyle::all() order; objectName "tierChip.<id>".
    const std::vector<QAbstractButton*>& chips() const { return chips_; }

signals:
    void tierIDChanged(const QString& id);

private:
    void syncChips();
    QString tierID_;
    std::vector<QAbstractButton*> chips_;
};

// The brand mark's proportions for a tile of side `size`.
struct BrandMarkMetrics {
    qreal size;
    qreal cornerRadius;       // 0.28 × size
    qreal gemSide;            // 0.54 × size
    qreal facetLineWidth;     // 0.018 × size, at least 1
    qreal shadowRadius;       // 0.16 × size
    qreal shadowOffset;       // 0.08 × size, downwards
    qreal wordmarkPointSize;  // 0.46 × size
};
BrandMarkMetrics brandMarkMetrics(qreal size);
// The gem's five-sided outline in `rect`, and its five facet segments.
QPainterPath vaelGemPath(const QRectF& rect);
QPainterPath vaelGemFacetsPath(const QRectF& rect);

// The gem tile, and the name "Vael" beside it when asked. One accessible element named "Vael".
class BrandMark : public QWidget {
public:
    explicit BrandMark(int size, bool showsWordmark = false, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int margin() const;
    QFont wordmarkFont() const;
    BrandMarkMetrics metrics_;
    bool showsWordmark_;
};

// The locked screens' background: the window colour under two brand glows. Lay children on it.
class AuthBackground : public QWidget {
public:
    explicit AuthBackground(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;
    void changeEvent(QEvent* event) override;
};

// A rounded, outlined, translucent card with a soft shadow; content goes in contentLayout().
class VaelCard : public QFrame {
public:
    explicit VaelCard(int padding, QWidget* parent = nullptr);
    QVBoxLayout* contentLayout() const { return layout_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void changeEvent(QEvent* event) override;

private:
    QVBoxLayout* layout_;
};

// Gives a button the look of a screen's main action: brand fill, light text, large padding.
// Label, action, shortcut and enabled state stay the caller's.
QPushButton* vaelPrimaryButton(QPushButton* button);

}  // namespace vael
