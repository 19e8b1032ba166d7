#pragma once

#include <QCollator>
#include <QString>
#include <algorithm>
#include <vector>

namespace kestrion {

// Locale-aware, case-insensitive order of file names (ASCII names sort
// alphabetically regardless of case). One instance per thread: QCollator is
// reentrant, not thread-safe.
class NameCollation {
public:
    NameCollation();

    // Negative, zero or positive, like strcmp.
    int compare(const QString& a, const QString& b) const;

    // Stable sort of items by the name the key function gives; names that
    // compare equal keep their order. Sort keys are computed once per item.
    template <typename T, typename KeyFn>
    void stableSort(std::vector<T>& items, KeyFn&& nameOf) const {
        std::vector<std::pair<QCollatorSortKey, std::size_t>> keys;
        keys.reserve(items.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
            keys.emplace_back(m_collator.sortKey(nameOf(items[i])), i);
        }
        std::stable_sort(keys.begin(), keys.end(),
                         [](const auto& a, const auto& b) { return a.first.compare(b.first) < 0; });
        std::vector<T> sorted;
        sorted.reserve(items.size());
        for (const auto& entry : keys) {
            sorted.push_back(std::move(items[entry.second]));
        }
        items = std::move(sorted);
    }

private:
    QCollator m_collator;
};

} // namespace kestrion
