// The preview's device widths, problems strip, "Ask to fix", point and ask,
// and the caption's file actions, in the real window and web engine.

#include "PreviewTestSupport.h"
#include "WindowTestSupport.h"
#include "app/MainWindow.h"
#include "app/PreviewFileActions.h"
#include "app/WindowState.h"
#include "app/widgets/ChatPane.h"
#include "app/widgets/DetailPane.h"
#include "app/widgets/MultilineTextView.h"
#include "app/widgets/PreviewDeviceFrame.h"
#include "app/widgets/PreviewProblemsStrip.h"
#include "app/widgets/PreviewWorkspace.h"
#include "app/widgets/SegmentedControl.h"
#include "conversation/ChatViewModel.h"
#include "preview/IndexPreviewWebView.h"
#include "preview/PreviewPicker.h"
#include "preview/WebEnginePreview.h"
#include "settings/AppSettings.h"
#include "support/Eventually.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <gtest/gtest.h>

using namespace kestrion;
using kestrion::test::becomes;
using kestrion::test::evaluate;
using kestrion::test::eventually;
using kestrion::test::page;
using kestrion::test::pageTimeoutMs;
using kestrion::test::writeFile;

namespace {

// Waits in a running event loop, which wakes as soon as an event arrives (a
// polling wait sleeps between rounds, and the engine asks the request
// interceptor on this thread one request at a time).
::testing::AssertionResult whileRunning(const std::function<bool()>& condition, int timeoutMs = pageTimeoutMs) {
    QEventLoop loop;
    QTimer poll;
    poll.callOnTimeout(&loop, [&] {
        if (condition()) {
            loop.quit();
        }
    });
    poll.start(20);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return condition() ? ::testing::AssertionSuccess()
                       : ::testing::AssertionFailure() << "condition still false after " << timeoutMs << " ms";
}

class PreviewFeaturesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        site = dir.filePath(QStringLiteral("site"));
        QDir().mkpath(site);
        QApplication::setQuitOnLastWindowClosed(false);
        settings = std::make_unique<AppSettings>();
        settings->setOutputDirectoryPath(site);
    }

    void openWindow() {
        test::startApp(settings.get(), context, window, WebEnginePreview::factory());
        window->resize(1400, 900);
        ASSERT_TRUE(test::showAndWaitUntilReady(*window, *context, test::Activation::Activate));
    }

    QString sitePath(const QString& relative) const { return site + QLatin1Char('/') + relative; }
    WindowState* state() const { return test::viewState(*window); }
    PreviewWorkspace* preview() const { return test::child<PreviewWorkspace>(window.get(), "previewWorkspace"); }
    QWebEnginePage* webPage() const { return test::webPage(preview()); }
    PreviewProblemsStrip* strip() const { return test::child<PreviewProblemsStrip>(preview(), "previewProblemsStrip"); }
    SegmentedControl* devices() const { return test::child<SegmentedControl>(preview(), "previewDevices"); }
    PreviewDeviceFrame* deviceFrame() const { return test::child<PreviewDeviceFrame>(preview(), "previewDeviceFrame"); }
    WebPreview* webPreview() const { return test::child<WebPreview>(preview(), "webPreview"); }
    QToolButton* button(const char* name) const { return test::child<QToolButton>(preview(), name); }
    PreviewPicker* picker() const { return test::child<PreviewPicker>(preview(), "previewPicker"); }

    // Shows the Preview tab and waits until the page with this title has loaded.
    ::testing::AssertionResult showPreviewTitled(const QString& title) {
        state()->setDetailWorkspaceTab(DetailWorkspaceTab::Preview);
        return test::previewShowsPageTitled(preview(), title);
    }

    void reload() { state()->bumpPreviewReloadNonce(); }

    int innerWidth() { return evaluate(webPage(), QStringLiteral("window.innerWidth")).toInt(); }

    QStringList listedProblems() const {
        QStringList rows;
        for (int i = 0; i < strip()->list()->count(); ++i) {
            rows.append(strip()->list()->item(i)->text());
        }
        return rows;
    }

    // The centre of the element the selector finds (in the frame the script runs in), in view coordinates.
    std::optional<QPoint> centreOf(const QString& findElement) {
        const QVariantList centre =
            evaluate(webPage(), QStringLiteral("(() => { const e = %1; if (!e) return []; const r = "
                                               "e.getBoundingClientRect(); const f = window.frameElement;"
                                               " return [r.left + r.width / 2, r.top + r.height / 2]; })()")
                                    .arg(findElement))
                .toList();
        if (centre.size() != 2) {
            return std::nullopt;
        }
        const qreal zoom = webPage()->zoomFactor();
        return QPoint(qRound(centre[0].toDouble() * zoom), qRound(centre[1].toDouble() * zoom));
    }

    ::testing::AssertionResult clickAt(const QPoint& point) {
        QWidget* target = test::webView(preview())->view()->focusProxy();
        if (!target) {
            return ::testing::AssertionFailure() << "no input widget";
        }
        QTest::mouseMove(target, point);
        QTest::mouseClick(target, Qt::LeftButton, {}, point);
        return ::testing::AssertionSuccess();
    }

    ::testing::AssertionResult clickElement(const QString& findElement) {
        const auto point = centreOf(findElement);
        if (!point) {
            return ::testing::AssertionFailure() << "nothing at " << findElement.toStdString();
        }
        return clickAt(*point);
    }

    ::testing::AssertionResult turnSelectOn() {
        QTest::mouseClick(button("previewSelect"), Qt::LeftButton);
        if (!picker()->isActive()) {
            return ::testing::AssertionFailure() << "Select did not turn on";
        }
        // The page's picker script confirms it is listening.
        return becomes(
            [&] {
                return evaluate(webPage(), QStringLiteral("typeof window.__kestrionPicker"), PreviewPicker::worldId)
                    .toString();
            },
            QStringLiteral("object"), pageTimeoutMs);
    }

    void saveScreenshot(const QString& name) {
        QTest::qWait(300); // let the web view paint its frame
        const QString path = QStringLiteral(KESTRION_SCREENSHOT_DIR "/") + name;
        EXPECT_TRUE(window->grab().save(path)) << path.toStdString();
    }

    QTemporaryDir dir;
    QString site;
    std::unique_ptr<AppSettings> settings;
    std::unique_ptr<AppContext> context;
    std::unique_ptr<MainWindow> window;
};

TEST_F(PreviewFeaturesTest, deviceWidthLaysThePageOutAtItsWidthAndIsRememberedPerFolder) {
    writeFile(sitePath(QStringLiteral("index.html")), page("Home", "<h1>Harbour Bakery</h1>"));
    openWindow();
    ASSERT_TRUE(showPreviewTitled(QStringLiteral("Home")));
    SegmentedControl* devices = this->devices();
    ASSERT_EQ(devices->count(), 3);
    EXPECT_EQ(devices->tabText(0), QStringLiteral("Desktop"));
    EXPECT_EQ(devices->tabText(1), QStringLiteral("Tablet"));
    EXPECT_EQ(devices->tabText(2), QStringLiteral("Phone"));
    EXPECT_EQ(devices->accessibleName(), QStringLiteral("Device width"));
    const int desktop = innerWidth();
    EXPECT_EQ(desktop, deviceFrame()->width());

    QTest::mouseClick(devices, Qt::LeftButton, {}, devices->tabRect(2).center());
    ASSERT_TRUE(becomes([&] { return innerWidth(); }, PreviewDeviceFrame::phoneWidth));
    EXPECT_EQ(webPreview()->width(), PreviewDeviceFrame::phoneWidth);
    EXPECT_EQ(settings->previewDevice(site), QStringLiteral("phone"));
    // Centred in the pane.
    const QRect shown = webPreview()->geometry();
    EXPECT_LE(std::abs(shown.left() - (deviceFrame()->width() - shown.right() - 1)), 1);

    // A reload keeps it.
    reload();
    ASSERT_TRUE(eventually([&] { return innerWidth() == PreviewDeviceFrame::phoneWidth; }, pageTimeoutMs));

    // A tablet in a pane narrower than 768 px is scaled down, still laid out at 768.
    QTest::mouseClick(devices, Qt::LeftButton, {}, devices->tabRect(1).center());
    auto* splitter = window->findChild<QSplitter*>();
    ASSERT_NE(splitter, nullptr);
    window->resize(900, 800);
    ASSERT_TRUE(eventually([&] { return deviceFrame()->width() < PreviewDeviceFrame::tabletWidth; }));
    ASSERT_TRUE(becomes([&] { return innerWidth(); }, PreviewDeviceFrame::tabletWidth));
    EXPECT_LT(webPage()->zoomFactor(), 1.0);

    // Another folder has its own; the first one's survives a restart.
    window.reset();
    context.reset();
    settings = std::make_unique<AppSettings>();
    EXPECT_EQ(settings->previewDevice(site), QStringLiteral("tablet"));
    const QString other = dir.filePath(QStringLiteral("other"));
    writeFile(other + QStringLiteral("/index.html"), page("Other"));
    settings->setOutputDirectoryPath(other);
    openWindow();
    ASSERT_TRUE(showPreviewTitled(QStringLiteral("Other")));
    EXPECT_EQ(this->devices()->currentIndex(), 0);
    settings->setOutputDirectoryPath(site);
    ASSERT_TRUE(showPreviewTitled(QStringLiteral("Home")));
    EXPECT_EQ(this->devices()->currentIndex(), 1);
}

// A script that throws while the page first loads, on the very first show of
// the tab (when the engine starts), is reported once and stays while the same
// document is shown (a link to a place in it); a reload reports it once again,
// never twice, and a clean page that follows starts clean.
TEST_F(PreviewFeaturesTest, scriptErrorOnLoadIsKeptFromTheFirstShowAndClearedPerDocument) {
    writeFile(sitePath(QStringLiteral("index.html")),
              page("Throws", "<a id=\"to-team\" href=\"#team\">Team</a><script src=\"app.js\"></script>"
                             "<h2 id=\"team\" style=\"margin-top:2000px\">Team</h2>"));
    writeFile(sitePath(QStringLiteral("app.js")), "\n\nthrow new Error('boom on load');\n");
    writeFile(sitePath(QStringLiteral("clean.html")), page("Clean"));
    openWindow();
    const auto scriptErrors = [&] {
        int count = 0;
        for (const auto& problem : strip()->problems().problems()) {
            if (problem.message.contains(QStringLiteral("boom on load"))) {
                count += problem.count;
            }
        }
        return count;
    };
    ASSERT_TRUE(showPreviewTitled(QStringLiteral("Throws")));
    ASSERT_TRUE(whileRunning([&] { return scriptErrors() > 0 && strip()->isVisible(); }))
        << listedProblems().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(scriptErrors(), 1);
    EXPECT_EQ(strip()->countLabel()->text(), QStringLiteral("1 problem"));
    QTest::mouseClick(strip()->toggleButton(), Qt::LeftButton);
    EXPECT_TRUE(listedProblems().join(QLatin1Char('\n')).contains(QStringLiteral("script error in app.js:3")))
        << listedProblems().join(QLatin1Char('\n')).toStdString();

    // A link to a place in the same page shows the same document: its problems stay.
    QSignalSpy urlChanged(webPage(), &QWebEnginePage::urlChanged);
    ASSERT_TRUE(clickElement(QStringLiteral("document.getElementById('to-team')")));
    ASSERT_TRUE(whileRunning([&] { return !urlChanged.isEmpty(); }));
    evaluate(webPage(), QStringLiteral("document.readyState"));
    EXPECT_EQ(scriptErrors(), 1);

    QSignalSpy loaded(webPage(), &QWebEnginePage::loadFinished);
    reload();
    ASSERT_TRUE(whileRunning([&] { return !loaded.isEmpty() && scriptErrors() > 0; }));
    ASSERT_TRUE(showPreviewTitled(QStringLiteral("Throws")));
    EXPECT_EQ(scriptErrors(), 1);

    state()->setPreviewSelectedRelativePath(QStringLiteral("clean.html"));
    ASSERT_TRUE(showPreviewTitled(QStringLiteral("Clean")));
    ASSERT_TRUE(whileRunning([&] { return !strip()->isVisible(); }));
    EXPECT_TRUE(strip()->problems().isEmpty());
}

TEST_F(PreviewFeaturesTest, problemsOfThePageAreListedAndAskToFixFillsTheComposer) {
    QTemporaryDir outside;
    writeFile(outside.filePath(QStringLiteral("secret.png")), "png");
    writeFile(sitePath(QStringLiteral("index.html")), page("Home"));
    writeFile(sitePath(QStringLiteral("broken.html")),
              page("Broken",
                   "<img src=\"team.jpg\"><img src=\"" +
                       QUrl::fromLocalFile(outside.filePath("secret.png")).toEncoded() +
                       "\"><img src=\"http://127.0.0.1:1/web.png\">"
                       "<script>fetch('data/missing.json').catch(() => {});</script>",
                   "<link rel=\"stylesheet\" href=\"missing.css\">"));
    openWindow();
    context->chat()->setInput(QString());
    ASSERT_TRUE(showPreviewTitled(QStringLiteral("Home")));
    state()->setPreviewSelectedRelativePath(QStringLiteral("broken.html"));
    ASSERT_TRUE(showPreviewTitled(QStringLiteral("Broken")));

    // The strip redraws on a timer: wait for what it shows, not only for what it has collected.
    ASSERT_TRUE(eventually(
        [&] { return strip()->isVisible() && strip()->countLabel()->text() == QStringLiteral("5 problems"); },
        pageTimeoutMs))
        << listedProblems().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(strip()->countLabel()->text(), QStringLiteral("5 problems"))
        << listedProblems().join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(strip()->list()->isVisible());
    QTest::mouseClick(strip()->toggleButton(), Qt::LeftButton);
    EXPECT_TRUE(strip()->list()->isVisible());
    EXPECT_EQ(strip()->toggleButton()->text(), QStringLiteral("Hide"));
    const QString rows = listedProblems().join(QLatin1Char('\n'));
    EXPECT_TRUE(rows.contains(QString::fromUtf8("broken.html: missing file in team.jpg \u2014 not found")))
        << rows.toStdString();
    EXPECT_TRUE(rows.contains(QStringLiteral("missing file in missing.css"))) << rows.toStdString();
    EXPECT_TRUE(rows.contains(QStringLiteral("missing file in data/missing.json"))) << rows.toStdString();
    EXPECT_TRUE(rows.contains(QStringLiteral("refused in file://"))) << rows.toStdString();
    EXPECT_TRUE(rows.contains(QStringLiteral("failed to load in http://127.0.0.1:1/web.png"))) << rows.toStdString();

    // Ask to fix: the composer of the current chat gets the list; nothing is sent.
    EXPECT_EQ(strip()->askToFixButton()->accessibleName(), QStringLiteral("Ask to fix"));
    QTest::mouseClick(strip()->askToFixButton(), Qt::LeftButton);
    const QString message = context->chat()->input();
    EXPECT_TRUE(message.startsWith(QStringLiteral("The preview of `broken.html` shows these problems:\n")));
    EXPECT_TRUE(message.contains(QStringLiteral("- missing file in `team.jpg`: not found")));
    EXPECT_TRUE(message.endsWith(QStringLiteral("Please fix them.")));
    EXPECT_EQ(state()->detailWorkspaceTab(), DetailWorkspaceTab::Create);
    EXPECT_EQ(test::child<ChatPane>(window.get(), "chatPane")->composer()->toPlainText(), message);
    EXPECT_FALSE(context->chat()->isSending());
    EXPECT_EQ(context->chat()->messages().size(), 0);

    // A fixed page loads clean: the strip goes away.
    writeFile(sitePath(QStringLiteral("broken.html")), page("Fixed"));
    reload();
    ASSERT_TRUE(showPreviewTitled(QStringLiteral("Fixed")));
    ASSERT_TRUE(eventually([&] { return !strip()->isVisible(); }));
    EXPECT_TRUE(strip()->problems().isEmpty());
}

TEST_F(PreviewFeaturesTest, aThousandMissingImagesAndAnErrorEveryFrameStayShortAndCounted) {
    QByteArray images;
    for (int i = 0; i < 1000; ++i) {
        images += "<img src=\"img/" + QByteArray::number(i) + ".png\">";
    }
    writeFile(sitePath(QStringLiteral("index.html")), page("Many", "<div hidden>" + images + "</div>"));
    openWindow();
    state()->setDetailWorkspaceTab(DetailWorkspaceTab::Preview);
    ASSERT_TRUE(eventually([&] { return test::hasWebPreview(preview()); }));
    ASSERT_TRUE(whileRunning([&] { return strip()->problems().total() == 1000; })) << strip()->problems().total();
    strip()->setExpanded(true);
    ASSERT_TRUE(whileRunning([&] { return strip()->list()->count() == PreviewProblemsStrip::maxRows + 1; }));
    EXPECT_TRUE(whileRunning([&] {
        return strip()->list()->item(PreviewProblemsStrip::maxRows)->text() == QStringLiteral("and 900 more");
    }));
    ASSERT_TRUE(whileRunning([&] { return strip()->countLabel()->text() == QStringLiteral("1000 problems"); }));

    // One error on every animation frame: one row, counted.
    writeFile(sitePath(QStringLiteral("frames.html")),
              page("Frames", "<script>function f() { requestAnimationFrame(f); throw new Error('frame error'); }"
                             " requestAnimationFrame(f);</script>"));
    state()->setPreviewSelectedRelativePath(QStringLiteral("frames.html"));
    ASSERT_TRUE(whileRunning([&] {
        const auto& problems = strip()->problems().problems();
        return problems.size() == 1 && problems[0].count > 10;
    })) << strip()->problems().total()
        << " " << PageProblems::describe(strip()->problems().problems().value(0)).toStdString();
    EXPECT_TRUE(strip()->problems().problems()[0].message.contains(QStringLiteral("frame error")));
    ASSERT_TRUE(whileRunning([&] { return strip()->list()->count() == 1; }));
    EXPECT_TRUE(strip()->list()->item(0)->text().contains(QString::fromUtf8("(\u00d7")));
}

TEST_F(PreviewFeaturesTest, selectPicksAnElementIntoTheComposerWithoutThePageSeeingTheClick) {
    writeFile(sitePath(QStringLiteral("frame.html")),
              page("Frame", "<ul><li>one</li><li class=\"pick\" style=\"height:40px\">two in frame</li></ul>"));
    QByteArray nested = "<b id=\"deep\">deep</b>";
    for (int i = 0; i < 12; ++i) {
        nested = "<div class=\"level\">" + nested + "</div>";
    }
    writeFile(sitePath(QStringLiteral("index.html")),
              page("Picks",
                   "<section class=\"hero\"><h1 class=\"title\" style=\"margin:0;height:60px\">Harbour "
                   "Bakery</h1></section><p id=\"intro\" style=\"height:40px\">Fresh <em>daily</em></p>" +
                       nested +
                       "<iframe id=\"frame\" src=\"frame.html\" style=\"width:300px;height:160px;border:0\"></iframe>"
                       "<script>window.clicks = 0;"
                       "window.addEventListener('click', e => { window.clicks++; e.stopPropagation(); }, true);"
                       "document.addEventListener('mousedown', e => { window.clicks++; });"
                       "window.channelSeen = typeof qt + '/' + typeof window.__kestrionPicker;</script>"));
    openWindow();
    ASSERT_TRUE(showPreviewTitled(QStringLiteral("Picks")));
    EXPECT_EQ(button("previewSelect")->accessibleName(), QStringLiteral("Select"));

    // The page's own scripts reach neither the channel nor the picker.
    EXPECT_EQ(evaluate(webPage(), QStringLiteral("window.channelSeen")).toString(),
              QStringLiteral("undefined/undefined"));
    EXPECT_EQ(evaluate(webPage(), QStringLiteral("typeof qt")).toString(), QStringLiteral("undefined"));

    // An element with only classes.
    context->chat()->setInput(QStringLiteral("make it bigger"));
    ASSERT_TRUE(turnSelectOn());
    ASSERT_TRUE(clickElement(QStringLiteral("document.querySelector('h1')")));
    ASSERT_TRUE(becomes([&] { return context->chat()->input(); },
                        QStringLiteral("In `index.html`, the element `section.hero > h1.title` "
                                       "(`<h1 class=\"title\" style=\"margin:0;height:60px\">Harbour Bakery</h1>`): "
                                       "make it bigger"),
                        pageTimeoutMs));
    EXPECT_FALSE(picker()->isActive());
    EXPECT_FALSE(button("previewSelect")->isChecked());
    EXPECT_EQ(state()->detailWorkspaceTab(), DetailWorkspaceTab::Create);
    EXPECT_EQ(context->chat()->messages().size(), 0);

    // The page's click handlers did not run, though they listen first and stop propagation.
    state()->setDetailWorkspaceTab(DetailWorkspaceTab::Preview);
    EXPECT_EQ(evaluate(webPage(), QStringLiteral("window.clicks")).toInt(), 0);

    // An element with an id, and a deeply nested one: short selectors from the nearest id.
    context->chat()->setInput(QString());
    ASSERT_TRUE(turnSelectOn());
    ASSERT_TRUE(clickElement(QStringLiteral("document.getElementById('intro')")));
    ASSERT_TRUE(eventually([&] { return !context->chat()->input().isEmpty(); }, pageTimeoutMs));
    EXPECT_TRUE(context->chat()->input().startsWith(QStringLiteral("In `index.html`, the element `p#intro` (`<p id=")))
        << context->chat()->input().toStdString();
    EXPECT_TRUE(context->chat()->input().contains(QStringLiteral(">Fresh daily</p>`): ")));

    state()->setDetailWorkspaceTab(DetailWorkspaceTab::Preview);
    context->chat()->setInput(QString());
    ASSERT_TRUE(turnSelectOn());
    ASSERT_TRUE(clickElement(QStringLiteral("document.getElementById('deep')")));
    ASSERT_TRUE(eventually([&] { return !context->chat()->input().isEmpty(); }, pageTimeoutMs));
    EXPECT_TRUE(context->chat()->input().startsWith(
        QStringLiteral("In `index.html`, the element `b#deep` (`<b id=\"deep\">deep</b>`)")))
        << context->chat()->input().toStdString();

    // Inside a frame of the site: the frame's own file.
    state()->setDetailWorkspaceTab(DetailWorkspaceTab::Preview);
    context->chat()->setInput(QString());
    ASSERT_TRUE(turnSelectOn());
    const auto frameAt = centreOf(QStringLiteral("document.getElementById('frame')"));
    const QVariantList inner =
        evaluate(webPage(),
                 QStringLiteral("(() => { const f = document.getElementById('frame');"
                                " const r = f.getBoundingClientRect();"
                                " const e = f.contentDocument.querySelector('li.pick').getBoundingClientRect();"
                                " return [r.left + e.left + e.width / 2, r.top + e.top + e.height / 2]; })()"))
            .toList();
    ASSERT_TRUE(frameAt.has_value());
    ASSERT_EQ(inner.size(), 2);
    ASSERT_TRUE(clickAt(QPoint(qRound(inner[0].toDouble()), qRound(inner[1].toDouble()))));
    ASSERT_TRUE(eventually([&] { return !context->chat()->input().isEmpty(); }, pageTimeoutMs));
    EXPECT_TRUE(context->chat()->input().startsWith(
        QStringLiteral("In `frame.html`, the element `ul > li.pick` (`<li class=\"pick\"")))
        << context->chat()->input().toStdString();
}

TEST_F(PreviewFeaturesTest, escapeLeavesSelectAndAPageCannotPickOnItsOwn) {
    writeFile(sitePath(QStringLiteral("index.html")),
              page("Escape", "<p id=\"p\" style=\"height:50px\">text</p>"
                             "<script>document.addEventListener('keydown', e => e.stopImmediatePropagation(), true);"
                             "</script>"));
    openWindow();
    ASSERT_TRUE(showPreviewTitled(QStringLiteral("Escape")));
    ASSERT_TRUE(turnSelectOn());

    // A page's script calling into the picker's world has nothing to call; a synthetic click is not the user's.
    evaluate(webPage(), QStringLiteral("try { qt.webChannelTransport.send('{}'); } catch (e) {}"
                                       "document.getElementById('p').click();"));
    QTest::qWait(200);
    EXPECT_EQ(context->chat()->input(), QString());
    EXPECT_TRUE(picker()->isActive());

    QWidget* input = test::webView(preview())->view()->focusProxy();
    ASSERT_NE(input, nullptr);
    input->setFocus();
    QTest::keyClick(input, Qt::Key_Escape);
    EXPECT_FALSE(picker()->isActive());
    EXPECT_FALSE(button("previewSelect")->isChecked());
    ASSERT_TRUE(clickElement(QStringLiteral("document.getElementById('p')")));
    QTest::qWait(200);
    EXPECT_EQ(context->chat()->input(), QString());
}

TEST_F(PreviewFeaturesTest, captionActionsHandTheFileInsideTheSiteToTheDesktop) {
    writeFile(sitePath(QStringLiteral("pages/about.html")), page("About"));
    writeFile(sitePath(QStringLiteral("index.html")), page("Home"));
    openWindow();
    ASSERT_TRUE(showPreviewTitled(QStringLiteral("Home")));
    EXPECT_EQ(button("previewOpenInBrowser")->accessibleName(), QStringLiteral("Open in browser"));
    EXPECT_EQ(button("previewShowInFolder")->accessibleName(), QStringLiteral("Show in folder"));

    QList<QUrl> opened;
    QList<QUrl> shown;
    bool fileManagerAnswers = true;
    auto* fileActions = test::child<PreviewFileActions>(preview(), "previewFileActions");
    ASSERT_NE(fileActions, nullptr);
    fileActions->setUrlOpener([&](const QUrl& url) { opened.append(url); });
    fileActions->setItemShower([&](const QUrl& url, const std::function<void()>& fallback) {
        if (fileManagerAnswers) {
            shown.append(url);
        } else {
            fallback();
        }
    });
    const QString canonicalSite = QDir(site).canonicalPath();
    QTest::mouseClick(button("previewOpenInBrowser"), Qt::LeftButton);
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(canonicalSite + QStringLiteral("/index.html"))});
    QTest::mouseClick(button("previewShowInFolder"), Qt::LeftButton);
    EXPECT_EQ(shown, QList<QUrl>{QUrl::fromLocalFile(canonicalSite + QStringLiteral("/index.html"))});
    fileManagerAnswers = false;
    QTest::mouseClick(button("previewShowInFolder"), Qt::LeftButton);
    EXPECT_EQ(opened.last(), QUrl::fromLocalFile(canonicalSite));

    // A file that leads out of the site, or into its private folders, is never handed over.
    QTemporaryDir outside;
    writeFile(outside.filePath(QStringLiteral("x.html")), "x");
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("x.html")), sitePath(QStringLiteral("link.html"))));
    writeFile(sitePath(QStringLiteral(".git/x.html")), "x");
    EXPECT_EQ(PreviewFileActions::checkedLocation(site, sitePath(QStringLiteral("link.html"))), std::nullopt);
    EXPECT_EQ(PreviewFileActions::checkedLocation(site, sitePath(QStringLiteral(".git/x.html"))), std::nullopt);
    EXPECT_EQ(PreviewFileActions::checkedLocation(site, sitePath(QStringLiteral("gone.html"))), std::nullopt);
    EXPECT_EQ(PreviewFileActions::checkedLocation(site, sitePath(QStringLiteral("pages/about.html"))),
              std::optional(canonicalSite + QStringLiteral("/pages/about.html")));
}

// The picture in the README: Phone width with the problems strip open.
TEST_F(PreviewFeaturesTest, screenshotAtPhoneWidthWithTheProblemsStripOpen) {
    writeFile(sitePath(QStringLiteral("style.css")),
              "body { margin: 0; font-family: sans-serif; color: #1d2433; }\n"
              "header { padding: 40px 24px; background: linear-gradient(135deg, #5b4bdb, #2f8fe0); color: white; }\n"
              "h1 { margin: 0 0 8px; font-size: 30px; } main { padding: 16px 24px; }\n"
              "section { margin-bottom: 12px; padding: 14px; border-radius: 10px; background: #f2f4fa; }\n"
              "img { width: 100%; height: 120px; background: #e3e6ee; display: block; border-radius: 8px; }\n");
    writeFile(sitePath(QStringLiteral("index.html")),
              page("Harbour Bakery",
                   "<header><h1>Harbour Bakery</h1><p>Sourdough, pastries and coffee by the water.</p></header>"
                   "<main><img src=\"img/team.jpg\" alt=\"\"><section><h3>Fresh daily</h3>Baked before sunrise."
                   "</section><section><h3>Order ahead</h3>Cakes for every occasion.</section></main>"
                   "<script>document.querySelector('h3').closest('main').dataset.count.length;</script>",
                   "<meta name=\"viewport\" content=\"width=device-width\"><link rel=\"stylesheet\" href=\"style.css\">"
                   "<link rel=\"stylesheet\" href=\"fonts.css\">"));
    openWindow();
    ASSERT_TRUE(showPreviewTitled(QStringLiteral("Harbour Bakery")));
    QTest::mouseClick(devices(), Qt::LeftButton, {}, devices()->tabRect(2).center());
    ASSERT_TRUE(becomes([&] { return innerWidth(); }, PreviewDeviceFrame::phoneWidth));
    ASSERT_TRUE(eventually([&] { return strip()->problems().total() >= 3; }, pageTimeoutMs));
    strip()->setExpanded(true);
    saveScreenshot(QStringLiteral("preview-phone.png"));
}

} // namespace
