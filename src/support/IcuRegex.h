#pragma once

#include <QList>
#include <QString>
#include <QStringView>
#include <memory>

namespace kestrion {

// A compiled ICU regular expression matched over QString's UTF-16 text.
//
// The reply protocol's patterns are written in ICU syntax and must mean what ICU
// means (\s, \w, \b, multi-line anchors with CR LF), which PCRE2 does not. Both
// sides use UTF-16, so capture ranges are plain QString indexes.
//
// A pattern is compiled once; matching creates its own matcher per call, so one
// instance may be shared read-only between threads. A pattern that does not
// compile never matches.
class IcuRegex final {
public:
    enum Option : unsigned {
        NoOptions = 0,
        CaseInsensitive = 1u << 0,
        DotMatchesAll = 1u << 1,
        MultiLine = 1u << 2,
    };

    // One capture range; start is -1 when the group took no part in the match.
    struct Capture {
        qsizetype start = -1;
        qsizetype length = 0;
        bool isValid() const { return start >= 0; }
        qsizetype end() const { return start + length; }
        bool operator==(const Capture&) const = default;
    };

    // Group 0 is the whole match, then one entry per capture group of the pattern.
    struct Match {
        QList<Capture> groups;
        QStringView captured(QStringView text, qsizetype group) const;
    };

    explicit IcuRegex(const QString& pattern, unsigned options = NoOptions);
    ~IcuRegex();
    IcuRegex(const IcuRegex&) = delete;
    IcuRegex& operator=(const IcuRegex&) = delete;

    bool isValid() const;
    int captureGroupCount() const;

    // Every non-overlapping match from left to right, as ICU's find() loop yields them.
    QList<Match> findAll(QStringView text) const;

    // The text with every match replaced by the literal replacement (no $-references).
    QString replaceAll(QStringView text, QStringView replacement) const;

private:
    struct Compiled;
    std::unique_ptr<const Compiled> m_compiled;
};

} // namespace kestrion
