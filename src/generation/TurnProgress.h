#pragma once

#include <QString>
#include <functional>
#include <stop_token>

namespace kestrion {

// Where a running turn is, as the status line under the transcript tells it.
struct TurnProgress {
    enum class Stage { Waiting, Writing, GeneratingImage, Committing };

    Stage stage = Stage::Waiting;
    // Writing: how many files; GeneratingImage: the image's number (from 1) and how many there are.
    int index = 0;
    int count = 0;
    // GeneratingImage: the image's path as the reply named it.
    QString path;

    friend bool operator==(const TurnProgress&, const TurnProgress&) = default;
};

// "Waiting for the model… 12 s", "Writing 5 files…", "Generating image 1 of 2: images/hero.jpg…",
// "Committing…". waitedSeconds counts only while waiting.
QString turnProgressText(const TurnProgress& progress, qint64 waitedSeconds = 0);

// The status line of a chat whose turn the user stopped.
inline const QString turnStoppedText = QStringLiteral("Stopped.");

// What a turn's worker steps are told from outside: a stop asked for, and where to report progress
// (called on the worker's thread).
struct TurnObserver {
    std::stop_token stop;
    std::function<void(const TurnProgress&)> progress;

    void report(const TurnProgress& step) const {
        if (progress) {
            progress(step);
        }
    }
    bool stopRequested() const { return stop.stop_requested(); }
};

} // namespace kestrion
