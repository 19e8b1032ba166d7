#pragma once

#include "support/SitePath.h"

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <string>
#include <unistd.h>
#include <utility>

// What the files of the path module share; nothing outside the module includes this.
namespace kestrion::SitePath::detail {

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.m_fd, -1));
        }
        return *this;
    }
    ~Descriptor() { reset(); }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd = -1) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }

private:
    int m_fd;
};

QString systemError(int code);
std::string native(const QString& path);
QString fromNative(const std::string& path);

// ".git" or ".kestrion-chats", in any letter case.
bool isPrivatePiece(QStringView piece);

// Writes the bytes to a fresh temporary file in the folder and renames it over
// the name. The rename replaces whatever entry holds the name (a link
// included) and never writes through it.
WriteResult writeInto(int folderFd, const std::string& name, const QByteArray& bytes, const QString& shownPath);

// What a read does with a file larger than its cap.
enum class Oversize {
    Refuse, // the whole file or nothing
    Cut,    // the first bytes up to the cap
};

// Opens the name in the folder without following a link and without blocking,
// and reads it when it is a regular file.
ReadResult openAndRead(int folderFd, const std::string& name, qint64 maxBytes, Oversize oversize = Oversize::Refuse);

} // namespace kestrion::SitePath::detail

namespace kestrion::SitePath {
using detail::Descriptor;
using detail::fromNative;
using detail::native;
using detail::systemError;
} // namespace kestrion::SitePath
