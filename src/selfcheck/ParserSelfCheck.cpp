#include "selfcheck/ParserSelfCheck.h"

#include "selfcheck/SelfCheckCases.h"
#include "support/AtomicFile.h"

#include <QDir>
#include <QStringList>
#include <QUuid>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>

namespace kestrion::ParserSelfCheck {

namespace {

// Written and flushed at once, so the lines of both streams keep the order in
// which they were produced even when they go to the same terminal or file.
void writeLine(std::FILE* stream, const QString& text) {
    const QByteArray bytes = (text + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

// An absent text prints as nil and a present one as Optional("text"), the
// form the failure messages of the checks are written in.
QString describe(const std::optional<QString>& value) {
    return value ? QStringLiteral("Optional(\"%1\")").arg(*value) : QStringLiteral("nil");
}

} // namespace

void fail(const QString& message) {
    throw CheckFailure{message};
}

bool isRequested(int argc, const char* const* argv) {
    for (int i = 0; i < argc; ++i) {
        if (argv[i] && std::strcmp(argv[i], requestFlag) == 0) {
            return true;
        }
    }
    return false;
}

void runIfRequestedAndExit(int argc, char** argv) {
    if (!isRequested(argc, argv)) {
        return;
    }
    std::exit(runCases(cases(), stdout, stderr));
}

QList<Case> cases() {
    return recoveryCases() + contextCases();
}

int runCases(const QList<Case>& cases, std::FILE* out, std::FILE* err) {
    int passed = 0;
    QStringList failed;
    for (const Case& check : cases) {
        std::optional<QString> failure;
        try {
            check.body();
        } catch (const CheckFailure& error) {
            failure = error.message;
        } catch (const std::exception& error) {
            failure = QString::fromUtf8(error.what());
        } catch (...) {
            failure = QStringLiteral("unknown error");
        }
        if (failure) {
            writeLine(err, QStringLiteral("FAIL ") + check.name + QStringLiteral(": ") + *failure);
            failed << check.name;
        } else {
            writeLine(out, QStringLiteral("ok  ") + check.name);
            ++passed;
        }
    }
    writeLine(out, QStringLiteral("\nParserSelfCheck: %1 passed, %2 failed.").arg(passed).arg(failed.size()));
    if (failed.isEmpty()) {
        return 0;
    }
    for (const QString& name : failed) {
        writeLine(err, QStringLiteral("FAILED: ") + name);
    }
    return 1;
}

void assertEqual(qint64 actual, qint64 expected, const QString& message) {
    if (actual != expected) {
        fail(message + dash + QStringLiteral("expected %1, got %2").arg(expected).arg(actual));
    }
}

void assertEqual(const QString& actual, const QString& expected, const QString& message) {
    if (actual != expected) {
        fail(message + dash + QStringLiteral("expected ") + expected + QStringLiteral(", got ") + actual);
    }
}

void assertEqual(const std::optional<QString>& actual, const std::optional<QString>& expected, const QString& message) {
    if (actual != expected) {
        fail(message + dash + QStringLiteral("expected ") + describe(expected) + QStringLiteral(", got ") +
             describe(actual));
    }
}

void assertContains(const QString& haystack, const QString& needle, const QString& message) {
    if (!haystack.contains(needle, Qt::CaseSensitive)) {
        fail(message + QStringLiteral(" — '") + needle + QStringLiteral("' not found in:\n") + haystack);
    }
}

void assertNotContains(const QString& haystack, const QString& needle, const QString& message) {
    if (haystack.contains(needle, Qt::CaseSensitive)) {
        fail(message + QStringLiteral(" — unexpected '") + needle + QStringLiteral("' found in:\n") + haystack);
    }
}

void withSandbox(const std::function<void(const QString& sandbox)>& body) {
    const QString sandbox = QDir::tempPath() + QStringLiteral("/kestrion-ctx-check-") +
                            QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const WriteResult created = makeDirectories(sandbox);
    if (!created.ok()) {
        throw std::runtime_error(created.error.toStdString());
    }
    try {
        body(sandbox);
    } catch (...) {
        QDir(sandbox).removeRecursively();
        throw;
    }
    QDir(sandbox).removeRecursively();
}

void writeBytes(const QString& relativePath, const QByteArray& data, const QString& directory) {
    const WriteResult written = writeFileAtomically(directory + u'/' + relativePath, data, true);
    if (!written.ok()) {
        throw std::runtime_error(written.error.toStdString());
    }
}

} // namespace kestrion::ParserSelfCheck
