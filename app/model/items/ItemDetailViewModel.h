#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <set>
#include <string>
#include <string_view>

#include <qcoro/qcorotask.h>

#include "app/custody/BiometricGate.h"
#include "crypto/ItemPayload.h"

namespace vael {

// One decrypted item while the detail pane shows it, and what the pane may show of each field: its
// value, or a fixed mask for a concealed field the owner has not approved. A field stays revealed
// until the model forgets its values (the pane shows another item, closes, or the vault locks); the
// window builds a new model, masked again, at every load. Main thread only.
class ItemDetailViewModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::set<int> revealedIndices READ revealedIndices NOTIFY revealedIndicesChanged)
    Q_PROPERTY(QString presenceNote READ presenceNote NOTIFY presenceNoteChanged)

public:
    // Eight U+2022: neither the value nor its length shows through.
    static constexpr std::string_view kMask = "\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022";
    static constexpr std::string_view kNobodyToAsk =
        "No authentication agent is running, so Vael cannot confirm it's you.";
    static constexpr std::string_view kNotInstalled =
        "Vael's system policy is not installed, so Vael cannot confirm it's you.";

    ItemDetailViewModel(ItemPayload payload, std::shared_ptr<BiometricGate> biometric, QObject* parent = nullptr);

    const ItemPayload& payload() const { return payload_; }
    const std::set<int>& revealedIndices() const { return revealedIndices_; }
    // Why the last reveal did nothing when nobody could be asked or the system does not know Vael's
    // request; empty otherwise.
    const QString& presenceNote() const { return presenceNote_; }

    // A field by its position in payload().fields; positions outside the list answer "" and false.
    // The view points into the model's own copy, so showing a value leaves no copy behind.
    std::string_view displayValue(int index) const;
    bool isRevealed(int index) const;
    // Asks the gate ("Reveal " and the label as stored) for a concealed field, every time; true when
    // the value may now be shown. A plain field answers true without asking.
    QCoro::Task<bool> reveal(int index);

    // Overwrites every value of the item and masks every field; nothing can be revealed afterwards.
    // Emits valuesForgotten first, so views drop their copies while the fields are still there.
    void forget();
    bool forgotten() const { return forgotten_; }

signals:
    void revealedIndicesChanged();
    void valuesForgotten();
    void presenceNoteChanged();

private:
    const ItemField* fieldAt(int index) const;

    ItemPayload payload_;
    std::shared_ptr<BiometricGate> biometric_;
    std::set<int> revealedIndices_;
    bool forgotten_ = false;
    QString presenceNote_;
};

}  // namespace vael
