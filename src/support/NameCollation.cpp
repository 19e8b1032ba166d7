#include "support/NameCollation.h"

namespace kestrion {

namespace {

// Under the C / POSIX locale (LANG=C.UTF-8 is common on servers and in
// containers) QCollator compares code points, and its sort keys ignore the
// case setting, so "Zoo" would sort before "apps". Such users get the
// language-neutral ICU order instead, which is case-insensitive as asked.
QLocale collationLocale() {
    const QLocale system = QLocale::system();
    return system.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : system;
}

} // namespace

NameCollation::NameCollation() : m_collator(collationLocale()) {
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
    m_collator.setNumericMode(false);
    m_collator.setIgnorePunctuation(false);
}

int NameCollation::compare(const QString& a, const QString& b) const {
    return m_collator.compare(a, b);
}

} // namespace kestrion
