#pragma once

#include "workspace/PageProblems.h"

#include <QFrame>
#include <chrono>

class QLabel;
class QListWidget;
class QPushButton;
class QTimer;

namespace kestrion {

// The strip under the preview that tells what went wrong on the page: "2
// problems", a button that opens the list of them, and "Ask to fix", which
// hands a message listing them to the composer (nothing is sent). Hidden
// while the page has no problems. Problems may arrive by the thousand (every
// animation frame, every missing image): they are counted as they come and
// the strip is redrawn at most every refreshInterval.
class PreviewProblemsStrip final : public QFrame {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreviewProblemsStrip)

public:
    // Rows shown in the list; the rest is one "and N more" row.
    static constexpr int maxRows = 100;
    static constexpr std::chrono::milliseconds refreshInterval{250};

    static inline const QString showText = QStringLiteral(QT_TRANSLATE_NOOP("kestrion::PreviewProblemsStrip", "Show"));
    static inline const QString hideText = QStringLiteral(QT_TRANSLATE_NOOP("kestrion::PreviewProblemsStrip", "Hide"));
    static inline const QString askToFixText =
        QStringLiteral(QT_TRANSLATE_NOOP("kestrion::PreviewProblemsStrip", "Ask to fix"));

    explicit PreviewProblemsStrip(QWidget* parent = nullptr);

    // Forgets every problem: a new load of root/page begins.
    void reset(const QString& root, const QString& page);
    const PageProblems& problems() const { return m_problems; }
    // The strip updates once the current event is done.
    void addConsoleError(const QString& message, int line, const QString& sourceId);
    void add(PageProblems::Kind kind, const QUrl& url);

    bool isExpanded() const;
    void setExpanded(bool expanded);

    QLabel* countLabel() const { return m_count; }
    QPushButton* toggleButton() const { return m_toggle; }
    QPushButton* askToFixButton() const { return m_askToFix; }
    QListWidget* list() const { return m_list; }

Q_SIGNALS:
    void askToFix(const QString& message);

private:
    void scheduleUpdate();
    void refresh();

    PageProblems m_problems;
    QLabel* m_count;
    QPushButton* m_toggle;
    QPushButton* m_askToFix;
    QListWidget* m_list;
    QTimer* m_refreshTimer;
};

} // namespace kestrion
