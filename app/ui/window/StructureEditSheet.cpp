#include "app/ui/window/StructureEditSheet.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/design/VaelComponents.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {

StructureEditSheet::StructureEditSheet(StructureSheet request, AppModel& app, QWidget* parent)
    : Sheet(parent, QString::fromStdString(request.title()), kWidth), request_(std::move(request)), app_(app) {
    setObjectName("structureSheet");
    const auto title = QString::fromStdString(request_.title());
    setAccessibleName(title);

    auto* heading = new QLabel(title, this);
    heading->setObjectName("structureSheet.title");
    heading->setTextFormat(Qt::PlainText);
    VaelFont::apply(heading, TextStyle::title3, QFont::DemiBold);

    field_ = new QLineEdit(QString::fromStdString(request_.initialText()), this);
    field_->setObjectName("structureSheet.name");
    const auto placeholder = QString::fromStdString(request_.placeholder());
    field_->setPlaceholderText(placeholder);
    field_->setAccessibleName(placeholder);

    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("structureSheet.cancel");
    cancel->setAccessibleName("Cancel");
    cancel->setAutoDefault(false);
    save_ = vaelPrimaryButton(new QPushButton("Save", this));
    save_->setObjectName("structureSheet.save");
    save_->setAccessibleName("Save");
    save_->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cancel);
    buttons->addStretch(1);
    buttons->addWidget(save_);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(16);
    column->addWidget(heading);
    column->addWidget(field_);
    column->addLayout(buttons);

    auto follow = [this](const QString& text) { save_->setEnabled(StructureSheet::canSave(text.toStdString())); };
    follow(field_->text());
    connect(field_, &QLineEdit::textChanged, this, follow);
    connect(field_, &QLineEdit::returnPressed, this, &StructureEditSheet::save);
    connect(save_, &QPushButton::clicked, this, &StructureEditSheet::save);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    field_->setFocus();
}

void StructureEditSheet::save() {
    // Return reaches both the field and the default button; one save is enough.
    if (saved_) return;
    saved_ = true;
    request_.save(app_, field_->text().toStdString());
    accept();
}

}  // namespace vael
