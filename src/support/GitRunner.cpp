#include "support/GitRunner.h"

#include "support/GitSafety.h"

#include <QFileInfo>
#include <QProcessEnvironment>

namespace kestrion::GitRunner {

namespace {

std::optional<QProcessEnvironment> childEnvironment(const Environment& additions) {
    if (additions.settings.isEmpty() && !additions.noTerminalPrompt && additions.indexFile.isEmpty()) {
        return std::nullopt; // the child inherits ours unchanged
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (additions.noTerminalPrompt) {
        environment.insert(QStringLiteral("GIT_TERMINAL_PROMPT"), QStringLiteral("0"));
    }
    if (!additions.indexFile.isEmpty()) {
        environment.insert(QStringLiteral("GIT_INDEX_FILE"), additions.indexFile);
    }
    if (additions.settings.isEmpty()) {
        return environment;
    }
    bool valid = false;
    int next = environment.value(QStringLiteral("GIT_CONFIG_COUNT")).toInt(&valid);
    if (!valid || next < 0) {
        next = 0;
    }
    for (const Setting& setting : additions.settings) {
        environment.insert(QStringLiteral("GIT_CONFIG_KEY_%1").arg(next), setting.key);
        environment.insert(QStringLiteral("GIT_CONFIG_VALUE_%1").arg(next), setting.value);
        ++next;
    }
    environment.insert(QStringLiteral("GIT_CONFIG_COUNT"), QString::number(next));
    return environment;
}

} // namespace

QStringList searchList() {
    return {QString::fromLatin1(systemGitPath), QStringLiteral("/usr/local/bin/git")};
}

std::optional<QString> findGit(const QStringList& candidates) {
    for (const QString& candidate : candidates) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable()) {
            return candidate;
        }
    }
    return std::nullopt;
}

ProcessOutcome run(const QString& git, const QString& workingDirectory, const QStringList& arguments,
                   const Environment& environment, const QByteArray& input) {
    return runProcess(git, gitProgramsOffOptions() + arguments, workingDirectory, childEnvironment(environment), input);
}

} // namespace kestrion::GitRunner
