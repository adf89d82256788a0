#include "app/ui/widgets/FormSection.h"

#include <QEvent>
#include <QFormLayout>

#include "app/ui/widgets/GroupedSurface.h"

namespace vael {

FormSection::FormSection(const QString& title, QWidget* parent)
    : QGroupBox(title, parent), form_(new QFormLayout(this)) {
    form_->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form_->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    form_->setRowWrapPolicy(QFormLayout::DontWrapRows);
    form_->setContentsMargins(10, 6, 10, 6);
    form_->setVerticalSpacing(6);
    form_->setHorizontalSpacing(12);  // a label never runs into its value
    if (!title.isEmpty()) setAccessibleName(title);
    keepControlOutlinesVisible(this);
}

void FormSection::changeEvent(QEvent* event) {
    QGroupBox::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange) keepControlOutlinesVisible(this);
}

}  // namespace vael
