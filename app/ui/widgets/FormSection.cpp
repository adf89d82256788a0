#include "app/ui/widgets/FormSection.h"

#include <QFormLayout>

namespace vael {

FormSection::FormSection(const QString& title, QWidget* parent)
    : QGroupBox(title, parent), form_(new QFormLayout(this)) {
    form_->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form_->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    form_->setRowWrapPolicy(QFormLayout::DontWrapRows);
    form_->setContentsMargins(10, 6, 10, 6);
    form_->setVerticalSpacing(6);
    if (!title.isEmpty()) setAccessibleName(title);
}

}  // namespace vael
