#pragma once

#include <QString>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>

// Readable failure messages for Qt values.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QUrl& url, std::ostream* out) {
    *out << url.toString().toStdString();
}

namespace kestrion::test {

constexpr int defaultWaitMs = 10000;

// Waits, processing events, until condition holds. Used with ASSERT_TRUE so
// that a condition that never comes true fails the test (Qt's QTRY_ macros
// report to Qt's test log, not to GoogleTest).
template <typename Condition>
::testing::AssertionResult eventually(Condition condition, int timeoutMs = defaultWaitMs) {
    if (QTest::qWaitFor(condition, timeoutMs)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "condition still false after " << timeoutMs << " ms";
}

// Waits until get() equals expected.
template <typename Get, typename Expected>
::testing::AssertionResult becomes(Get get, const Expected& expected, int timeoutMs = defaultWaitMs) {
    if (QTest::qWaitFor([&] { return get() == expected; }, timeoutMs)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "still " << ::testing::PrintToString(get()) << " after " << timeoutMs
                                         << " ms, expected " << ::testing::PrintToString(expected);
}

} // namespace kestrion::test
