#pragma once

#include <QStyledItemDelegate>

#include <memory>

#include "app/model/AppModel.h"

namespace vael {

class ItemGlyph;
class TierBadge;

// Paints one item of the vault list: the glyph of its field label in its tier's tint, the name and
// the field label one line each, and the compact tier badge. Never a secret value.
//
// The list model gives the name as Qt::DisplayRole and the two roles below; rowAccessibleText() is
// what it answers for Qt::AccessibleTextRole, so the badge's tier is read out too.
class VaultItemRowDelegate : public QStyledItemDelegate {
public:
    enum Role { FieldLabelRole = Qt::UserRole + 200, TierRole };

    static constexpr int kGlyphSize = 30;
    static constexpr int kSpacing = 12;
    static constexpr int kVerticalPadding = 3;

    explicit VaultItemRowDelegate(QObject* parent = nullptr);
    ~VaultItemRowDelegate() override;

    static QString rowAccessibleText(const AppModel::ItemRow& row);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    // The design system's own views, drawn once per look into pictures the rows then copy.
    std::unique_ptr<ItemGlyph> glyph_;
    std::unique_ptr<TierBadge> badge_;
};

}  // namespace vael
