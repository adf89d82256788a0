#include "app/model/items/ItemEditViewModel.h"

#include <sodium.h>

namespace vael {

namespace {

// Sets `member` and signals only when the value changes.
template <class T, class Signal>
void assign(T& member, T value, ItemEditViewModel* model, Signal changed) {
    if (member == value) return;
    member = std::move(value);
    emit(model->*changed)();
}

}  // namespace

ItemEditViewModel::ItemEditViewModel(const ItemPayload& payload, QObject* parent)
    : QObject(parent),
      name_(payload.name),
      url_(payload.url.value_or("")),
      notes_(payload.notes.value_or("")),
      tags_(payload.tags),
      fields_(payload.fields),
      allowedHosts_(payload.allowedHosts),
      allowedCommands_(payload.allowedCommands),
      strictMatch_(payload.strictMatch) {}

ItemEditViewModel::~ItemEditViewModel() {
    if (!notes_.empty()) sodium_memzero(notes_.data(), notes_.size());
}

void ItemEditViewModel::setName(std::string name) { assign(name_, std::move(name), this, &ItemEditViewModel::nameChanged); }
void ItemEditViewModel::setUrl(std::string url) { assign(url_, std::move(url), this, &ItemEditViewModel::urlChanged); }
void ItemEditViewModel::setNotes(std::string notes) {
    if (notes == notes_) return;
    if (!notes_.empty()) sodium_memzero(notes_.data(), notes_.size());
    notes_ = std::move(notes);
    emit notesChanged();
}
void ItemEditViewModel::setTags(std::vector<std::string> tags) { assign(tags_, std::move(tags), this, &ItemEditViewModel::tagsChanged); }
void ItemEditViewModel::setFields(std::vector<ItemField> fields) {
    assign(fields_, std::move(fields), this, &ItemEditViewModel::fieldsChanged);
}

void ItemEditViewModel::addField(std::string label, ItemField::Kind kind, std::string value, bool concealed) {
    fields_.push_back(ItemField{std::move(label), kind, std::move(value), concealed});
    emit fieldsChanged();
}

void ItemEditViewModel::removeField(qsizetype position) {
    if (position < 0 || position >= static_cast<qsizetype>(fields_.size())) return;
    fields_.erase(fields_.begin() + position);
    emit fieldsChanged();
}

ItemPayload ItemEditViewModel::buildPayload() const {
    ItemPayload payload;
    payload.name = name_;
    payload.fields = fields_;
    if (!url_.empty()) payload.url = url_;
    if (!notes_.empty()) payload.notes = notes_;
    payload.tags = tags_;
    payload.allowedHosts = allowedHosts_;
    payload.allowedCommands = allowedCommands_;
    payload.strictMatch = strictMatch_;
    return payload;
}

}  // namespace vael
