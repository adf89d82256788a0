#include "app/model/items/ItemDetailViewModel.h"

#include <QPointer>

#include <sodium.h>

#include "app/model/Blocking.h"

namespace vael {

ItemDetailViewModel::ItemDetailViewModel(ItemPayload payload, std::shared_ptr<BiometricGate> biometric, QObject* parent)
    : QObject(parent), payload_(std::move(payload)), biometric_(std::move(biometric)) {}

const ItemField* ItemDetailViewModel::fieldAt(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= payload_.fields.size()) return nullptr;
    return &payload_.fields[static_cast<std::size_t>(index)];
}

bool ItemDetailViewModel::isRevealed(int index) const {
    const auto* field = fieldAt(index);
    if (!field || forgotten_) return false;
    return !field->concealed || revealedIndices_.contains(index);
}

std::string_view ItemDetailViewModel::displayValue(int index) const {
    const auto* field = fieldAt(index);
    if (!field) return {};
    return isRevealed(index) ? std::string_view(field->value) : kMask;
}

QCoro::Task<bool> ItemDetailViewModel::reveal(int index) {
    const auto* field = fieldAt(index);
    if (!field) co_return false;
    if (forgotten_) co_return false;
    if (!field->concealed) co_return true;
    // The gate blocks until the person answers, so it waits on a worker; the window may drop this
    // model meanwhile.
    QPointer<ItemDetailViewModel> self(this);
    auto asking = runBlocking([gate = biometric_, reason = "Reveal " + field->label] {
        return gate ? gate->check(reason) : BiometricGate::Answer::unavailable;
    });
    const auto answer = co_await asking;
    if (!self || self->forgotten_) co_return false;
    const auto why = answer == BiometricGate::Answer::unavailable    ? kNobodyToAsk
                     : answer == BiometricGate::Answer::notInstalled ? kNotInstalled
                                                                     : std::string_view();
    const QString note = QString::fromUtf8(why.data(), static_cast<qsizetype>(why.size()));
    if (note != presenceNote_) {
        presenceNote_ = note;
        emit presenceNoteChanged();
    }
    if (answer != BiometricGate::Answer::confirmed) co_return false;
    if (revealedIndices_.insert(index).second) emit revealedIndicesChanged();
    co_return true;
}

void ItemDetailViewModel::forget() {
    if (forgotten_) return;
    forgotten_ = true;
    emit valuesForgotten();
    for (auto& field : payload_.fields) {
        sodium_memzero(field.value.data(), field.value.size());
        field.value.clear();
    }
    const bool hadRevealed = !revealedIndices_.empty();
    revealedIndices_.clear();
    if (hadRevealed) emit revealedIndicesChanged();
}

}  // namespace vael
