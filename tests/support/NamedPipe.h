#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace kestrion::test {

// Makes a named pipe at path, with the folders above it.
inline void makeNamedPipe(const QString& path) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0644), 0) << path.toStdString();
}

// Runs call on another thread and tells whether it came back without anyone
// writing to the pipe at pipePath. A reader that opens the pipe waits for a
// writer forever; rather than hang the test, such a reader is set free after a
// generous wait by opening the pipe for writing and closing it again (the
// reader then sees the end of the file), and the answer is false. The wait only
// turns a hang into a failure: a reader that never opens the pipe returns at
// once.
template <typename Call>
bool returnsWithoutAWriter(const QString& pipePath, Call call) {
    auto done = std::async(std::launch::async, std::move(call));
    if (done.wait_for(std::chrono::seconds(20)) == std::future_status::ready) {
        done.get();
        return true;
    }
    const QByteArray name = QFile::encodeName(pipePath);
    while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        // Succeeds only while a reader has the pipe open.
        const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
        }
    }
    done.get();
    return false;
}

} // namespace kestrion::test
