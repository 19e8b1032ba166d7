#include "app/widgets/ChangesDialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QSplitter>
#include <QStackedWidget>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace kestrion {

namespace {

QString statusWord(QChar status) {
    if (status == QLatin1Char('A')) {
        return QCoreApplication::translate("kestrion::ChangesDialog", "added");
    }
    if (status == QLatin1Char('D')) {
        return QCoreApplication::translate("kestrion::ChangesDialog", "deleted");
    }
    return QCoreApplication::translate("kestrion::ChangesDialog", "changed");
}

// The diff as HTML, one line each, coloured by its first character.
QString colouredDiff(const QString& patch) {
    QString html = QStringLiteral("<pre style=\"margin:0\">");
    for (const QStringView line : QStringView(patch).split(u'\n')) {
        const QString escaped = line.toString().toHtmlEscaped();
        if (line.startsWith(u"+++") || line.startsWith(u"---") || line.startsWith(u"diff ") ||
            line.startsWith(u"index ")) {
            html += QStringLiteral("<span style=\"color:#777\">") + escaped + QStringLiteral("</span>\n");
        } else if (line.startsWith(u'+')) {
            html += QStringLiteral("<span style=\"background:#dafbe1;color:#116329\">") + escaped +
                    QStringLiteral("</span>\n");
        } else if (line.startsWith(u'-')) {
            html += QStringLiteral("<span style=\"background:#ffebe9;color:#a40e26\">") + escaped +
                    QStringLiteral("</span>\n");
        } else if (line.startsWith(u"@@")) {
            html += QStringLiteral("<span style=\"color:#0550ae\">") + escaped + QStringLiteral("</span>\n");
        } else {
            html += escaped + QLatin1Char('\n');
        }
    }
    return html + QStringLiteral("</pre>");
}

void showPicture(QLabel* label, const QByteArray& bytes, const QString& what) {
    QPixmap picture;
    if (bytes.isEmpty() || !picture.loadFromData(bytes)) {
        label->setPixmap({});
        label->setText(QCoreApplication::translate("kestrion::ChangesDialog", "%1: none").arg(what));
        return;
    }
    label->setPixmap(
        picture.scaled(QSize(320, 320).boundedTo(picture.size()), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

} // namespace

ChangesDialog::ChangesDialog(const QString& root, const QString& commit, QWidget* parent)
    : QDialog(parent), m_message(new QLabel(tr("Reading the changes\u2026"), this)), m_files(new QListWidget(this)),
      m_pages(new QStackedWidget(this)), m_diff(new QTextEdit(this)), m_before(new QLabel(this)),
      m_after(new QLabel(this)) {
    setWindowTitle(tr("Changes of the turn"));
    resize(900, 560);
    // The names the tools that drive or inspect the dialog find these views by.
    m_files->setObjectName(QStringLiteral("fileList"));
    m_diff->setObjectName(QStringLiteral("diffView"));
    m_before->setObjectName(QStringLiteral("beforeImage"));
    m_after->setObjectName(QStringLiteral("afterImage"));
    m_files->setAccessibleName(tr("Changed files"));
    m_diff->setReadOnly(true);
    m_diff->setAccessibleName(tr("Changes"));
    m_diff->setLineWrapMode(QTextEdit::NoWrap);
    m_before->setAccessibleName(tr("Before"));
    m_after->setAccessibleName(tr("After"));
    m_message->setWordWrap(true);

    auto* pictures = new QWidget(this);
    auto* grid = new QGridLayout(pictures);
    grid->addWidget(new QLabel(tr("Before"), pictures), 0, 0);
    grid->addWidget(new QLabel(tr("After"), pictures), 0, 1);
    grid->addWidget(m_before, 1, 0, Qt::AlignTop);
    grid->addWidget(m_after, 1, 1, Qt::AlignTop);
    grid->setRowStretch(2, 1);
    m_pages->addWidget(m_diff);
    m_pages->addWidget(pictures);

    auto* splitter = new QSplitter(this);
    splitter->addWidget(m_files);
    splitter->addWidget(m_pages);
    splitter->setSizes({220, 680});
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_message);
    layout->addWidget(splitter, 1);
    layout->addWidget(buttons);

    connect(m_files, &QListWidget::currentRowChanged, this, &ChangesDialog::showFile);
    QtConcurrent::run([root, commit] {
        return TurnGit::changesOf(root, commit);
    }).then(this, [this](const TurnGit::Changes& changes) { show(changes); });
}

void ChangesDialog::show(const TurnGit::Changes& changes) {
    m_changes = changes;
    m_files->clear();
    if (changes.error) {
        m_message->setText(*changes.error);
    } else if (changes.files.isEmpty()) {
        m_message->setText(tr("That turn changed no files of the site."));
    } else {
        m_message->setText(changes.files.size() == 1 ? tr("1 file changed.")
                                                     : tr("%1 files changed.").arg(changes.files.size()));
    }
    m_message->setAccessibleName(m_message->text());
    for (const TurnGit::FileChange& file : changes.files) {
        m_files->addItem(file.path + QStringLiteral(" (") + statusWord(file.status) + QLatin1Char(')'));
    }
    if (!changes.files.isEmpty()) {
        m_files->setCurrentRow(0);
    }
    m_loaded = true;
    Q_EMIT loaded();
}

void ChangesDialog::showFile(int row) {
    if (row < 0 || row >= m_changes.files.size()) {
        return;
    }
    const TurnGit::FileChange& file = m_changes.files.at(row);
    if (file.image) {
        showPicture(m_before, file.before, tr("Before"));
        showPicture(m_after, file.after, tr("After"));
        m_pages->setCurrentIndex(1);
        return;
    }
    m_diff->setHtml(colouredDiff(file.patch));
    m_pages->setCurrentIndex(0);
}

} // namespace kestrion
