#pragma once

#include <QCollator>
#include <QLocale>
#include <QString>

#include <algorithm>
#include <optional>
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

    // The key `name` sorts by. A DisplayOrder is used by one thread at a time: threads keying names
    // at once make one each.
    QCollatorSortKey key(const std::string& name) const { return collator_.sortKey(QString::fromStdString(name)); }

    // Rows with `name` and `id`, in this order; each name is keyed once.
    template <class Row>
    void sort(std::vector<Row>& rows) const {
        std::vector<std::optional<QCollatorSortKey>> keys;
        keys.reserve(rows.size());
        for (const auto& row : rows) keys.emplace_back(key(row.name));
        std::vector<Row> sorted;
        sorted.reserve(rows.size());
        for (const auto i : orderOf(keys, [&](std::size_t i) -> const Row& { return rows[i]; }))
            sorted.push_back(std::move(rows[i]));
        rows = std::move(sorted);
    }

    // The places i that have a key, in this order: keys[i] is the key of the name of of(i), which has
    // `name` and `id`.
    template <class Of>
    static std::vector<std::size_t> orderOf(const std::vector<std::optional<QCollatorSortKey>>& keys, Of of) {
        std::vector<std::size_t> order;
        order.reserve(keys.size());
        for (std::size_t i = 0; i < keys.size(); ++i)
            if (keys[i]) order.push_back(i);
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            if (const int byKey = keys[a]->compare(*keys[b]); byKey != 0) return byKey < 0;
            const auto& x = of(a);
            const auto& y = of(b);
            if (x.name != y.name) return x.name < y.name;
            return x.id < y.id;
        });
        return order;
    }

private:
    QCollator collator_;
};

}  // namespace vael
