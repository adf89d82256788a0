#include "app/ui/design/VaelComponents.h"

#include "app/ui/design/MotionPreference.h"

#include <QAbstractButton>
#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QRadialGradient>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/ui/design/SymbolCatalog.h"

namespace vael {

QPen hairline(const QColor& colour, const QPaintDevice& device) {
    const qreal ratio = std::max<qreal>(1, device.devicePixelRatioF());
    return QPen(colour, std::max(0.5, 1 / ratio));
}

QRectF hairlineBox(const QRect& rect, const QPen& pen) {
    const qreal half = pen.widthF() / 2;
    return QRectF(rect).adjusted(half, half, -half, -half);
}

namespace {

QColor withAlpha(QColor color, qreal alpha) {
    color.setAlphaF(float(color.alphaF() * alpha));
    return color;
}

// One chip of the tier picker: the tier's symbol over its title.
class TierChip final : public QAbstractButton {
public:
    TierChip(const TierStyle& tier, QWidget* parent) : QAbstractButton(parent), tier_(tier) {
        setCheckable(true);
        setFocusPolicy(Qt::StrongFocus);
        setCursor(Qt::PointingHandCursor);
        setObjectName("tierChip." + tier.id);
        setText(tier.title);
        setAccessibleName(tier.title + " tier");
        setToolTip(tier.blurb);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        // The fill grows in with a quick spring when the chip is chosen and fades when it is not.
        connect(this, &QAbstractButton::toggled, this, [this](bool on) {
            if (!isVisible()) {  // a chip set before it shows starts as it is
                fillAmount_ = on ? 1.0 : 0.0;
                return;
            }
            MotionPreference::animate(this, fill_, fillAmount_, on ? 1.0 : 0.0, kFillMotionMs, MotionPreference::spring(),
                                      [this](double amount) {
                                          fillAmount_ = amount;
                                          update();
                                      });
        });
    }
    static constexpr int kFillMotionMs = 150;
    QSize sizeHint() const override {
        const QFontMetrics body(font());
        const QFontMetrics caption(VaelFont::style(TextStyle::caption, font(), QFont::Medium));
        const int height = 8 + body.height() + 4 + caption.height() + 8;
        return {std::max(72, caption.horizontalAdvance(tier_.title) + 24), height};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QPalette& pal = palette();
        const QColor tint = tier_.tint.resolve(pal);
        const QColor content = isChecked() ? tint : VaelTheme::secondaryText(pal);
        QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        if (isChecked()) {
            p.setBrush(withAlpha(tint, 0.16 * std::clamp(fillAmount_, 0.0, 1.2)));
            p.setPen(QPen(withAlpha(tint, 0.65), 1));
        } else {
            if (fillAmount_ > 0) p.setBrush(withAlpha(tint, 0.16 * std::min(fillAmount_, 1.0)));
            else p.setBrush(Qt::NoBrush);
            const QPen outline = hairline(VaelTheme::separator(pal), *this);
            p.setPen(outline);
            box = hairlineBox(rect(), outline);
        }
        p.drawRoundedRect(box, 8, 8);
        if (hasFocus()) {
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(VaelTheme::accent(pal), 2));
            p.drawRoundedRect(box.adjusted(1, 1, -1, -1), 7, 7);
        }
        const QFontMetrics body(font());
        const QFont captionFont = VaelFont::style(TextStyle::caption, font(), QFont::Medium);
        const QFontMetrics caption(captionFont);
        const int top = (height() - (body.height() + 4 + caption.height())) / 2;
        const int iconSide = body.height();
        SymbolCatalog::paint(p, QRectF((width() - iconSide) / 2.0, top, iconSide, iconSide), tier_.icon, content);
        p.setFont(captionFont);
        p.setPen(content);
        p.drawText(QRect(0, top + body.height() + 4, width(), caption.height()), Qt::AlignCenter, tier_.title);
    }

private:
    TierStyle tier_;
    double fillAmount_ = 0;  // 0 unchosen, 1 chosen; in between while it moves
    QVariantAnimation* fill_ = nullptr;
};

// The card's drop shadow, blurred once per card size and then only drawn: the card repaints on every
// frame of a spinner inside it, and blurring the whole card each time kept the main thread busy.
class CardShadow final : public QGraphicsDropShadowEffect {
public:
    static constexpr qreal kBlur = 22;
    static constexpr QPointF kOffset{0, 10};
    static constexpr qreal kFillAlpha = 0.86;  // the card's own fill: its shadow is as dark as it is opaque

    explicit CardShadow(QObject* parent) : QGraphicsDropShadowEffect(parent) {
        setColor(QColor(0, 0, 0, int(0.14 * 255)));
        setBlurRadius(kBlur);
        setOffset(kOffset);
    }

protected:
    void draw(QPainter* painter) override {
        const QRectF box = sourceBoundingRect(Qt::LogicalCoordinates);
        if (box.size() != shadowFor_) {
            shadow_ = render(box.size());
            shadowFor_ = box.size();
        }
        painter->drawImage(box.topLeft() + kOffset - QPointF(kBlur, kBlur), shadow_);
        drawSource(painter);
    }

private:
    // The card's outline filled in the shadow colour, as opaque as the card, then softened by three
    // box blurs each way (close to a gaussian of the effect's radius).
    static QImage render(QSizeF size) {
        constexpr int kBox = 6;  // three passes: about 3 * kBox pixels of fall-off, within kBlur
        const int pad = int(kBlur);
        const QSize area = (size + QSizeF(2 * pad, 2 * pad)).toSize();
        QImage mask(area, QImage::Format_Alpha8);
        mask.fill(0);
        {
            QPainter p(&mask);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0, 0, 0, int(0.14 * kFillAlpha * 255)));
            p.drawRoundedRect(QRectF(QPointF(pad, pad), size), 18, 18);
        }
        const int w = area.width(), h = area.height();
        std::vector<int> alpha(std::size_t(w) * h), scratch(alpha.size());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) alpha[std::size_t(y) * w + x] = mask.constScanLine(y)[x];
        // One pass of a running box sum along rows (step 1) or columns (step w).
        auto pass = [&](int count, int lines, int step, int lineStep) {
            for (int line = 0; line < lines; ++line) {
                const std::size_t base = std::size_t(line) * lineStep;
                int sum = 0;
                for (int i = -kBox; i < count + kBox; ++i) {
                    if (i + kBox < count) sum += alpha[base + std::size_t(i + kBox) * step];
                    if (i - kBox - 1 >= 0) sum -= alpha[base + std::size_t(i - kBox - 1) * step];
                    if (i >= 0 && i < count) scratch[base + std::size_t(i) * step] = sum / (2 * kBox + 1);
                }
            }
            alpha.swap(scratch);
        };
        for (int i = 0; i < 3; ++i) {
            pass(w, h, 1, w);
            pass(h, w, w, 1);
        }
        QImage out(area, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < h; ++y) {
            auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < w; ++x) line[x] = qRgba(0, 0, 0, std::clamp(alpha[std::size_t(y) * w + x], 0, 255));
        }
        return out;
    }

    QImage shadow_;
    QSizeF shadowFor_;
};

}  // namespace

// ---- ItemGlyph ----

ItemGlyph::ItemGlyph(std::string symbol, DynamicColor tint, int size, QWidget* parent)
    : QWidget(parent), symbol_(std::move(symbol)), tint_(std::move(tint)), size_(size) {
    setFixedSize(size, size);
}

void ItemGlyph::setSymbol(std::string symbol) {
    symbol_ = std::move(symbol);
    update();
}

void ItemGlyph::setTint(DynamicColor tint) {
    tint_ = std::move(tint);
    update();
}

void ItemGlyph::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor tint = tint_.resolve(palette());
    p.setPen(Qt::NoPen);
    p.setBrush(withAlpha(tint, 0.16));
    p.drawRoundedRect(QRectF(0, 0, size_, size_), 0.3 * size_, 0.3 * size_);
    const qreal side = 0.48 * size_;
    SymbolCatalog::paint(p, QRectF((size_ - side) / 2, (size_ - side) / 2, side, side), symbol_, tint);
}

// ---- TierBadge ----

TierBadge::TierBadge(const TierStyle& tier, bool compact, QWidget* parent)
    : QWidget(parent), tier_(tier), compact_(compact) {
    setFont(VaelFont::style(TextStyle::caption, QFont::DemiBold));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setTier(tier);
}

void TierBadge::setTier(const TierStyle& tier) {
    tier_ = tier;
    setAccessibleName("AI access: " + tier_.title);
    setToolTip(tier_.blurb);
    updateGeometry();
    update();
}

QSize TierBadge::sizeHint() const {
    const QFontMetrics metrics(font());
    const int side = compact_ ? 6 : 9;
    int width = side + metrics.height();
    if (!compact_) width += 4 + metrics.horizontalAdvance(tier_.title);
    return {width + side, metrics.height() + 6};
}

void TierBadge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor tint = tier_.tint.resolve(palette());
    const QRectF box(rect());
    p.setPen(Qt::NoPen);
    p.setBrush(withAlpha(tint, 0.15));
    p.drawRoundedRect(box, box.height() / 2, box.height() / 2);
    const QFontMetrics metrics(font());
    const int side = compact_ ? 6 : 9;
    const int icon = metrics.height() - 2;
    SymbolCatalog::paint(p, QRectF(side, (height() - icon) / 2.0, icon, icon), tier_.icon, tint);
    if (compact_) return;
    p.setPen(tint);
    p.drawText(QRect(side + icon + 4, 0, width() - side - icon - 4, height()), Qt::AlignVCenter | Qt::AlignLeft,
               tier_.title);
}

// ---- TierChipPicker ----

TierChipPicker::TierChipPicker(QString tierID, QWidget* parent) : QWidget(parent), tierID_(std::move(tierID)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    for (const auto& tier : TierStyle::all()) {
        auto* chip = new TierChip(tier, this);
        connect(chip, &QAbstractButton::clicked, this, [this, id = tier.id] {
            setTierID(id);
            syncChips();  // a click on the checked chip must not uncheck it
        });
        row->addWidget(chip, 1, Qt::AlignVCenter);
        chips_.push_back(chip);
    }
    setAccessibleName("AI access tier");
    syncChips();
}

void TierChipPicker::setTierID(const QString& id) {
    if (id == tierID_) return;
    tierID_ = id;
    syncChips();
    emit tierIDChanged(tierID_);
}

void TierChipPicker::syncChips() {
    for (size_t i = 0; i < chips_.size(); ++i) chips_[i]->setChecked(TierStyle::all()[i].id == tierID_);
}

// ---- BrandMark ----

BrandMarkMetrics brandMarkMetrics(qreal size) {
    return {size, 0.28 * size, 0.54 * size, std::max<qreal>(0.018 * size, 1.0), 0.16 * size, 0.08 * size, 0.46 * size};
}

namespace {
constexpr qreal kGem[5][2] = {{0.30, 0.20}, {0.70, 0.20}, {0.95, 0.42}, {0.50, 0.95}, {0.05, 0.42}};
QPointF gemPoint(const QRectF& r, qreal fx, qreal fy) { return {r.left() + fx * r.width(), r.top() + fy * r.height()}; }
}  // namespace

QPainterPath vaelGemPath(const QRectF& rect) {
    QPainterPath path;
    path.moveTo(gemPoint(rect, kGem[0][0], kGem[0][1]));
    for (int i = 1; i < 5; ++i) path.lineTo(gemPoint(rect, kGem[i][0], kGem[i][1]));
    path.closeSubpath();
    return path;
}

QPainterPath vaelGemFacetsPath(const QRectF& rect) {
    static constexpr qreal segments[5][4] = {{0.05, 0.42, 0.95, 0.42},
                                             {0.30, 0.20, 0.50, 0.95},
                                             {0.70, 0.20, 0.50, 0.95},
                                             {0.30, 0.20, 0.05, 0.42},
                                             {0.70, 0.20, 0.95, 0.42}};
    QPainterPath path;
    for (const auto& s : segments) {
        path.moveTo(gemPoint(rect, s[0], s[1]));
        path.lineTo(gemPoint(rect, s[2], s[3]));
    }
    return path;
}

BrandMark::BrandMark(int size, bool showsWordmark, QWidget* parent)
    : QWidget(parent), metrics_(brandMarkMetrics(size)), showsWordmark_(showsWordmark) {
    setAccessibleName("Vael");
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

int BrandMark::margin() const { return int(std::ceil(metrics_.shadowRadius + metrics_.shadowOffset)); }

QFont BrandMark::wordmarkFont() const {
    QFont font = this->font();
    font.setPointSizeF(metrics_.wordmarkPointSize);
    font.setBold(true);
    return font;
}

QSize BrandMark::sizeHint() const {
    const int side = int(std::ceil(metrics_.size)) + 2 * margin();
    if (!showsWordmark_) return {side, side};
    const QFontMetrics words(wordmarkFont());
    return {side - margin() + 12 + words.horizontalAdvance("Vael"), std::max(side, words.height())};
}

void BrandMark::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const auto& m = metrics_;
    const QRectF tile(margin(), (height() - m.size) / 2, m.size, m.size);

    // A soft shadow: stacked outlines fading outwards stand in for a blur.
    const int steps = std::max(4, int(m.shadowRadius));
    p.setPen(Qt::NoPen);
    for (int i = steps; i >= 1; --i) {
        const qreal grow = m.shadowRadius * i / steps;
        QColor shade = VaelTheme::brand();
        shade.setAlphaF(float(0.4 / steps * 0.9));
        p.setBrush(shade);
        p.drawRoundedRect(tile.translated(0, m.shadowOffset).adjusted(-grow / 2, -grow / 2, grow / 2, grow / 2),
                          m.cornerRadius + grow / 2, m.cornerRadius + grow / 2);
    }

    QLinearGradient fill(tile.topLeft(), tile.bottomRight());
    fill.setColorAt(0, VaelTheme::brand());
    fill.setColorAt(1, VaelTheme::brandDeep());
    p.setBrush(fill);
    p.drawRoundedRect(tile, m.cornerRadius, m.cornerRadius);

    const QRectF gem(tile.center().x() - m.gemSide / 2, tile.center().y() - m.gemSide / 2, m.gemSide, m.gemSide);
    QColor white(Qt::white);
    white.setAlphaF(0.96f);
    p.setBrush(white);
    p.drawPath(vaelGemPath(gem));
    QColor facet = VaelTheme::brandDeep();
    facet.setAlphaF(0.32f);
    QPen pen(facet, m.facetLineWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(vaelGemFacetsPath(gem));

    if (!showsWordmark_) return;
    p.setFont(wordmarkFont());
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(QRectF(tile.right() + 12, 0, width(), height()), Qt::AlignVCenter | Qt::AlignLeft, "Vael");
}

// ---- AuthBackground ----

AuthBackground::AuthBackground(QWidget* parent) : QWidget(parent) {}

void AuthBackground::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), VaelTheme::window(palette()));
    const auto glow = [&](QPointF centre, qreal radius, QColor colour, qreal alpha) {
        QRadialGradient gradient(centre, radius);
        colour.setAlphaF(float(alpha));
        gradient.setColorAt(0, colour);
        colour.setAlphaF(0);
        gradient.setColorAt(1, colour);
        p.fillRect(rect(), gradient);
    };
    glow(QPointF(0, 0), 540, VaelTheme::brand(), 0.28);
    glow(QPointF(width(), height()), 600, VaelTheme::brandDeep(), 0.22);
}

void AuthBackground::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) update();
    QWidget::changeEvent(event);
}

// ---- VaelCard ----

VaelCard::VaelCard(int padding, QWidget* parent) : QFrame(parent), layout_(new QVBoxLayout(this)) {
    layout_->setContentsMargins(padding, padding, padding, padding);
    setGraphicsEffect(new CardShadow(this));
}

void VaelCard::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor fill = VaelTheme::control(palette());
    fill.setAlphaF(0.86f);
    p.setBrush(fill);
    const QPen outline = hairline(withAlpha(VaelTheme::separator(palette()), 0.7), *this);
    p.setPen(outline);
    p.drawRoundedRect(hairlineBox(rect(), outline), 18, 18);
}

void VaelCard::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) update();
    QFrame::changeEvent(event);
}

// ---- vaelPrimaryButton ----

QPushButton* vaelPrimaryButton(QPushButton* button) {
    const QColor brand = VaelTheme::brand();
    const QColor deep = VaelTheme::brandDeep();
    const QColor hover = brand.lighter(110);
    QColor disabled = brand;
    disabled.setAlphaF(0.45f);
    button->setProperty("vaelPrimary", true);
    button->setMinimumHeight(34);
    button->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: white; border: none; border-radius: 7px;"
                                         " padding: 8px 18px; font-weight: 600; }"
                                         "QPushButton:hover { background: %2; }"
                                         "QPushButton:pressed { background: %3; }"
                                         "QPushButton:focus { border: 2px solid %3; }"
                                         "QPushButton:disabled { background: %4; color: rgba(255,255,255,170); }")
                              .arg(brand.name(), hover.name(), deep.name(), disabled.name(QColor::HexArgb)));
    return button;
}

}  // namespace vael
