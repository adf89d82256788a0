#pragma once

#include <QCollator>

namespace vael {

// The codes' order: the user's own, alphabetical in their locale, whatever the case.
inline QCollator codeCollator() {
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

}  // namespace vael
