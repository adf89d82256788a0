#pragma once

#include <QCollator>
#include <QLocale>
#include <QString>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "core/Uuid.h"

namespace vael {

// The order names are shown in: alphabetical in the user's locale, whatever the case. Names equal
// to the collator fall back to their exact text, then to the identifier, so the order depends on
// the rows alone and never on the order they were gathered in.
class DisplayOrder {
public:
    // Under the C locale, which names no language and compares code points, English's order (the
    // common Unicode order, no tailoring) keeps case a minor difference.
    DisplayOrder()
        : collator_(QLocale().language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : QLocale()) {
        collator_.setCaseSensitivity(Qt::CaseInsensitive);
    }

    bool before(const std::string& nameA, const Uuid& idA, const std::string& nameB, const Uuid& idB) const {
        const int order = collator_.compare(QString::fromStdString(nameA), QString::fromStdString(nameB));
        if (order != 0) return order < 0;
        if (nameA != nameB) return nameA < nameB;
        return idA < idB;
    }

    // Rows with `name` and `id`, in this order; each name is keyed once.
    template <class Row>
    void sort(std::vector<Row>& rows) const {
        std::vector<std::pair<QCollatorSortKey, std::size_t>> keyed;
        keyed.reserve(rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i)
            keyed.emplace_back(collator_.sortKey(QString::fromStdString(rows[i].name)), i);
        std::sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
            if (const int order = a.first.compare(b.first); order != 0) return order < 0;
            const Row& x = rows[a.second];
            const Row& y = rows[b.second];
            if (x.name != y.name) return x.name < y.name;
            return x.id < y.id;
        });
        std::vector<Row> sorted;
        sorted.reserve(rows.size());
        for (const auto& entry : keyed) sorted.push_back(std::move(rows[entry.second]));
        rows = std::move(sorted);
    }

private:
    QCollator collator_;
};

}  // namespace vael
