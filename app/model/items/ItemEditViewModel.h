#pragma once

#include <QObject>

#include <optional>
#include <string>
#include <vector>

#include "crypto/ItemPayload.h"

namespace vael {

// An editable copy of an item's name, website, notes, tags and fields, and the payload they make.
// What it does not edit (allowed hosts, allowed commands, the exact-host flag) goes back unchanged,
// so an edit never widens what agents may do with the secret.
class ItemEditViewModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::string name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(std::string url READ url WRITE setUrl NOTIFY urlChanged)
    Q_PROPERTY(std::string notes READ notes WRITE setNotes NOTIFY notesChanged)
    Q_PROPERTY(std::vector<std::string> tags READ tags WRITE setTags NOTIFY tagsChanged)
    Q_PROPERTY(std::vector<vael::ItemField> fields READ fields WRITE setFields NOTIFY fieldsChanged)

public:
    explicit ItemEditViewModel(const ItemPayload& payload, QObject* parent = nullptr);
    ~ItemEditViewModel() override;  // wipes the notes

    const std::string& name() const { return name_; }
    void setName(std::string name);
    const std::string& url() const { return url_; }  // empty: no website
    void setUrl(std::string url);
    const std::string& notes() const { return notes_; }  // empty: no notes
    void setNotes(std::string notes);
    const std::vector<std::string>& tags() const { return tags_; }
    void setTags(std::vector<std::string> tags);
    const std::vector<ItemField>& fields() const { return fields_; }
    void setFields(std::vector<ItemField> fields);

    void addField(std::string label, ItemField::Kind kind, std::string value, bool concealed);
    // A position outside the list changes nothing.
    void removeField(qsizetype position);

    // A website or notes of at least one character are kept as typed, spaces included.
    ItemPayload buildPayload() const;

signals:
    void nameChanged();
    void urlChanged();
    void notesChanged();
    void tagsChanged();
    void fieldsChanged();

private:
    std::string name_;
    std::string url_;
    std::string notes_;
    std::vector<std::string> tags_;
    std::vector<ItemField> fields_;
    std::optional<std::vector<std::string>> allowedHosts_;
    std::optional<std::vector<std::string>> allowedCommands_;
    std::optional<bool> strictMatch_;
};

}  // namespace vael
