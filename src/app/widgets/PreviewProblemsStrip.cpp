#include "app/widgets/PreviewProblemsStrip.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace kestrion {

PreviewProblemsStrip::PreviewProblemsStrip(QWidget* parent)
    : QFrame(parent), m_count(new QLabel(this)), m_toggle(new QPushButton(tr(qUtf8Printable(showText)), this)),
      m_askToFix(new QPushButton(tr(qUtf8Printable(askToFixText)), this)), m_list(new QListWidget(this)),
      m_refreshTimer(new QTimer(this)) {
    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(refreshInterval);
    connect(m_refreshTimer, &QTimer::timeout, this, &PreviewProblemsStrip::refresh);
    setObjectName(QStringLiteral("previewProblemsStrip"));
    setAccessibleName(tr("Page problems"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    QPalette tinted = palette();
    tinted.setColor(QPalette::Window, QColor(0xfd, 0xf1, 0xe6));
    setPalette(tinted);

    m_count->setTextFormat(Qt::PlainText);
    m_toggle->setCheckable(true);
    m_toggle->setAccessibleName(m_toggle->text());
    m_askToFix->setAccessibleName(m_askToFix->text());
    m_askToFix->setToolTip(tr("Put a message listing these problems into the chat's composer"));
    m_list->setAccessibleName(tr("Problems"));
    m_list->setWordWrap(true);
    m_list->setUniformItemSizes(false);
    m_list->setMaximumHeight(180);
    m_list->setVisible(false);

    auto* row = new QHBoxLayout;
    row->setContentsMargins(10, 4, 10, 4);
    row->addWidget(m_count, 1);
    row->addWidget(m_toggle);
    row->addWidget(m_askToFix);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(row);
    layout->addWidget(m_list);

    connect(m_toggle, &QPushButton::toggled, this, &PreviewProblemsStrip::setExpanded);
    connect(m_askToFix, &QPushButton::clicked, this, [this] {
        const QString message = m_problems.askToFixMessage();
        if (!message.isEmpty()) {
            Q_EMIT askToFix(message);
        }
    });
    setVisible(false);
}

void PreviewProblemsStrip::reset(const QString& root, const QString& page) {
    m_problems.reset(root, page);
    scheduleUpdate();
}

void PreviewProblemsStrip::addConsoleError(const QString& message, int line, const QString& sourceId) {
    m_problems.addConsoleError(message, line, sourceId);
    scheduleUpdate();
}

void PreviewProblemsStrip::add(PageProblems::Kind kind, const QUrl& url) {
    m_problems.addResource(kind, url);
    scheduleUpdate();
}

void PreviewProblemsStrip::scheduleUpdate() {
    // A repaint of the window waits for the web view's next frame, and the
    // engine asks this thread about each of the page's requests in turn: one
    // repaint per problem would slow the page's own loading to a crawl.
    if (!m_refreshTimer->isActive()) {
        m_refreshTimer->start();
    }
}

bool PreviewProblemsStrip::isExpanded() const {
    return m_toggle->isChecked();
}

void PreviewProblemsStrip::setExpanded(bool expanded) {
    m_toggle->setChecked(expanded);
    m_toggle->setText(expanded ? tr(qUtf8Printable(hideText)) : tr(qUtf8Printable(showText)));
    m_toggle->setAccessibleName(m_toggle->text());
    m_list->setVisible(expanded);
}

void PreviewProblemsStrip::refresh() {
    if (m_problems.isEmpty()) {
        m_list->clear();
        setVisible(false);
        return;
    }
    m_count->setText(PageProblems::countText(m_problems.total()));
    m_count->setAccessibleName(m_count->text());
    const QList<PageProblems::Problem>& problems = m_problems.problems();
    const int rows = int(std::min<qsizetype>(problems.size(), maxRows));
    QStringList texts;
    texts.reserve(rows + 1);
    for (int i = 0; i < rows; ++i) {
        texts.append(PageProblems::describe(problems[i]));
    }
    const qsizetype more = problems.size() - rows + m_problems.notKept();
    if (more > 0) {
        texts.append(tr("and %1 more").arg(more));
    }
    // Rows change in place: the list keeps its scroll position while problems arrive.
    while (m_list->count() > texts.size()) {
        delete m_list->takeItem(m_list->count() - 1);
    }
    for (int i = 0; i < texts.size(); ++i) {
        if (i < m_list->count()) {
            if (m_list->item(i)->text() != texts[i]) {
                m_list->item(i)->setText(texts[i]);
            }
        } else {
            m_list->addItem(texts[i]);
        }
    }
    setVisible(true);
}

} // namespace kestrion
