#include "app/ui/window/VaultItemRowDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>

#include "app/ui/design/VaelComponents.h"
#include "app/ui/design/VaelTheme.h"
#include "app/ui/widgets/DisplayText.h"

namespace vael {

namespace {

QFont nameFont(const QFont& base) { return VaelFont::style(TextStyle::body, base, QFont::Medium); }
QFont labelFont(const QFont& base) { return VaelFont::style(TextStyle::caption, base); }

}  // namespace

VaultItemRowDelegate::VaultItemRowDelegate(QObject* parent)
    : QStyledItemDelegate(parent),
      glyph_(std::make_unique<ItemGlyph>("lock.fill", TierStyle::humanGated().tint, kGlyphSize)),
      badge_(std::make_unique<TierBadge>(TierStyle::humanGated(), true)) {}

VaultItemRowDelegate::~VaultItemRowDelegate() = default;

QString VaultItemRowDelegate::rowAccessibleText(const AppModel::ItemRow& row) {
    return displayName(row.name) + ", " + displayName(row.fieldLabel) + ", AI access: " +
           TierStyle::of(row.aiAccess).title;
}

QSize VaultItemRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    const QFontMetrics name(nameFont(option.font)), label(labelFont(option.font));
    const int text = name.height() + 1 + label.height();
    return {kGlyphSize + kSpacing + 120, std::max(kGlyphSize, text) + 2 * kVerticalPadding + 4};
}

// The glyph and badge are drawn once per look (symbol, tint, font, size, pixel ratio) through
// the design system's own views, so a row looks like the glyph and badge elsewhere; every paint after
// that copies the picture. Through a pixmap also because QWidget::render straight into a view's
// painter adds the viewport's offset in its window a second time.
namespace {
template <class Prepare>
QPixmap picture(QWidget& widget, const QString& look, QSize size, qreal ratio, Prepare prepare) {
    const QString key = QStringLiteral("vael.row|%1|%2|%3|%4x%5")
                            .arg(look, widget.font().key(), QString::number(ratio), QString::number(size.width()),
                                 QString::number(size.height()));
    QPixmap cached;
    if (QPixmapCache::find(key, &cached)) return cached;
    prepare();
    widget.resize(size);
    cached = QPixmap(size * ratio);
    cached.setDevicePixelRatio(ratio);
    cached.fill(Qt::transparent);
    widget.render(&cached, QPoint(), QRegion(), QWidget::DrawChildren);
    QPixmapCache::insert(key, cached);
    return cached;
}
}  // namespace

void VaultItemRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    QStyleOptionViewItem panel = option;
    initStyleOption(&panel, index);
    panel.text.clear();
    panel.icon = QIcon();
    const QWidget* view = option.widget;
    QStyle* style = view ? view->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &panel, painter, view);

    const auto name = displayName(index.data(Qt::DisplayRole).toString());
    const auto fieldLabel = displayName(index.data(FieldLabelRole).toString());
    const auto& tier = TierStyle::of(index.data(TierRole).toString());
    const QRect area = option.rect.adjusted(6, kVerticalPadding, -6, -kVerticalPadding);

    const bool selected = option.state & QStyle::State_Selected;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    // On the brand highlight the glyph and badge sit on the view's base colour, as on any other row,
    // so their tints keep their contrast.
    const auto backing = [&](const QRect& box, qreal radius) {
        if (!selected) return;
        painter->setPen(Qt::NoPen);
        painter->setBrush(option.palette.color(QPalette::Base));
        painter->drawRoundedRect(QRectF(box), radius, radius);
    };
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const std::string symbol = FieldGlyph::symbol(fieldLabel.toStdString());
    const QString tint = tier.tint.resolve(option.palette).name(QColor::HexArgb);
    const QPoint glyphAt(area.left(), area.center().y() - kGlyphSize / 2 + 1);
    backing(QRect(glyphAt, QSize(kGlyphSize, kGlyphSize)), 0.3 * kGlyphSize);
    painter->drawPixmap(glyphAt, picture(*glyph_, QString::fromStdString(symbol) + '|' + tint, QSize(kGlyphSize, kGlyphSize),
                                         ratio, [&] {
                                             glyph_->setPalette(option.palette);
                                             glyph_->setSymbol(symbol);
                                             glyph_->setTint(tier.tint);
                                         }));

    const QSize badgeSize = badge_->sizeHint();  // compact: the same for every tier
    const QPoint badgeAt(area.right() - badgeSize.width() + 1, area.center().y() - badgeSize.height() / 2 + 1);
    backing(QRect(badgeAt, badgeSize), badgeSize.height() / 2.0);
    painter->drawPixmap(badgeAt, picture(*badge_, "badge|" + tier.id + '|' + tint, badgeSize, ratio, [&] {
                            badge_->setPalette(option.palette);
                            badge_->setTier(tier);
                        }));

    // The text column between the glyph and the badge, with at least 8 points before the badge.
    const int left = area.left() + kGlyphSize + kSpacing;
    const int width = std::max(0, badgeAt.x() - 8 - left);
    const QFont nameF = nameFont(option.font), labelF = labelFont(option.font);
    const QFontMetrics nameM(nameF), labelM(labelF);
    const int top = area.center().y() - (nameM.height() + 1 + labelM.height()) / 2 + 1;

    painter->setFont(nameF);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(QRect(left, top, width, nameM.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      nameM.elidedText(name, Qt::ElideRight, width));
    painter->setFont(labelF);
    painter->setPen(selected ? option.palette.color(QPalette::HighlightedText) : VaelTheme::secondaryText(option.palette));
    painter->drawText(QRect(left, top + nameM.height() + 1, width, labelM.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      labelM.elidedText(fieldLabel, Qt::ElideRight, width));
    painter->restore();
}

}  // namespace vael
