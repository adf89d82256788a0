#pragma once

#include <QObject>

#include <string>
#include <string_view>
#include <vector>

namespace vael {

// The AI access tier a user is choosing for an item, beside the tier the item has. Only the three
// tier identifiers are ever held.
class AccessTierViewModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::string selected READ selected NOTIFY selectedChanged)
    Q_PROPERTY(bool isDirty READ isDirty NOTIFY selectedChanged)

public:
    // "injectable", "human_gated", "ai_hidden".
    static const std::vector<std::string>& tiers();
    // Exactly one of them (case-sensitive, untrimmed).
    static bool isTier(std::string_view id);

    // Anything but a tier identifier starts at "human_gated".
    explicit AccessTierViewModel(std::string_view current, QObject* parent = nullptr);

    const std::string& original() const { return original_; }
    const std::string& selected() const { return selected_; }
    const std::string& pendingAIAccess() const { return selected_; }
    bool isDirty() const { return selected_ != original_; }

    // Anything but a tier identifier is ignored.
    void select(std::string_view id);

signals:
    void selectedChanged();

private:
    const std::string original_;
    std::string selected_;
};

}  // namespace vael
