#include "support/Unprivileged.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <cerrno>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace kestrion::test {

namespace {

// Exit statuses of the child besides success.
constexpr int couldNotDrop = 125;
constexpr int couldNotReport = 126;

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        written += n;
    }
    return true;
}

// Adds the given mode bits to each folder for as long as it lives.
class GrantedModes {
public:
    explicit GrantedModes(const QString& reachable) {
        grant(reachable, S_IROTH | S_IXOTH);
        for (QDir dir = QFileInfo(reachable).dir(); !dir.isRoot(); dir = QFileInfo(dir.absolutePath()).dir()) {
            grant(dir.absolutePath(), S_IXOTH);
        }
    }
    ~GrantedModes() {
        for (const auto& [path, mode] : m_original) {
            ::chmod(path.constData(), mode);
        }
    }
    GrantedModes(const GrantedModes&) = delete;
    GrantedModes& operator=(const GrantedModes&) = delete;

private:
    void grant(const QString& path, mode_t bits) {
        const QByteArray native = QFile::encodeName(path);
        struct stat info {};
        if (::stat(native.constData(), &info) != 0 || (info.st_mode & bits) == bits) {
            return;
        }
        const mode_t original = info.st_mode & 07777;
        if (::chmod(native.constData(), original | bits) == 0) {
            m_original.append({native, original});
        }
    }

    QList<std::pair<QByteArray, mode_t>> m_original;
};

} // namespace

std::optional<QByteArray> withoutRootPrivileges(const QString& reachable, const std::function<QByteArray()>& work) {
    if (::geteuid() != 0) {
        return work();
    }
    const GrantedModes granted(reachable);
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        ADD_FAILURE() << "pipe failed";
        return std::nullopt;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        ADD_FAILURE() << "fork failed";
        return std::nullopt;
    }
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(nobodyId) != 0 || ::setuid(nobodyId) != 0 ||
            ::geteuid() != nobodyId) {
            ::_exit(couldNotDrop);
        }
        // _exit: the child must not run the parent's destructors (its temporary folders among them).
        ::_exit(writeAll(pipeFds[1], work()) ? 0 : couldNotReport);
    }
    ::close(pipeFds[1]);
    QByteArray output;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        output.append(buffer, n);
    }
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        return output;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == couldNotDrop) {
        ADD_FAILURE() << "could not drop to user and group " << nobodyId;
    } else {
        ADD_FAILURE() << "the unprivileged child ended with status " << status;
    }
    return std::nullopt;
}

} // namespace kestrion::test
