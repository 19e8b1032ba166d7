#include "support/NameCollation.h"

namespace kestrion {

NameCollation::NameCollation() : m_collator(QLocale::system()) {
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
    m_collator.setNumericMode(false);
    m_collator.setIgnorePunctuation(false);
}

int NameCollation::compare(const QString& a, const QString& b) const {
    return m_collator.compare(a, b);
}

} // namespace kestrion
