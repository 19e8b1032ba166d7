#pragma once

#include "support/TestFiles.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace kestrion::test {

// A temporary website directory with helpers to lay out files in it.
class TreeFixture {
public:
    TreeFixture() { EXPECT_TRUE(m_dir.isValid()); }
    // A folder under base (for example a memory file system for trees of
    // thousands of files, which a slow disk takes many seconds to create).
    explicit TreeFixture(const QString& base) : m_dir(base + QStringLiteral("/kestrion-tree-XXXXXX")) {
        EXPECT_TRUE(m_dir.isValid());
    }

    QString root() const { return m_dir.path(); }
    QString path(const QString& relative) const { return m_dir.path() + QLatin1Char('/') + relative; }

    void makeFolder(const QString& relative) const {
        ASSERT_TRUE(QDir().mkpath(path(relative))) << relative.toStdString();
    }

    void writeFile(const QString& relative, const QByteArray& bytes = {}) const {
        test::writeFile(path(relative), bytes);
    }

    // Many empty files in an existing folder, named by pattern (%1 = number).
    void writeEmptyFiles(const QString& folder, const QString& pattern, int count) const {
        for (int i = 0; i < count; ++i) {
            const QByteArray name =
                QFile::encodeName(path(folder) + QLatin1Char('/') + pattern.arg(i, 5, 10, QLatin1Char('0')));
            const int fd = ::open(name.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            ASSERT_GE(fd, 0) << name.constData();
            ::close(fd);
        }
    }

    void makeLink(const QString& target, const QString& relative) const {
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path(relative)).constData()), 0)
            << relative.toStdString();
    }

private:
    QTemporaryDir m_dir;
};

// Where to build large trees: shared memory when the system has it.
inline QString fastTemporaryBase() {
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    return shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
}

inline bool runningAsRoot() {
    return ::geteuid() == 0;
}

} // namespace kestrion::test
