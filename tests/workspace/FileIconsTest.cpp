#include "workspace/FileIcons.h"

#include "workspace/FileTreeScanner.h"

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSet>
#include <gmock/gmock.h>

using namespace kestrion;

namespace {

// Pixels that are not fully transparent: a blank picture would have none.
int paintedPixels(const QIcon& icon, int side) {
    const QImage image = icon.pixmap(QSize(side, side)).toImage().convertToFormat(QImage::Format_ARGB32);
    int painted = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            painted += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
        }
    }
    return painted;
}

const QStringList& namesTheTreeHandsOut() {
    static const QStringList names = [] {
        QStringList list{FileTreeScanner::folderIcon, FileTreeScanner::errorIcon};
        for (const char* file : {"a.swift", "a.php", "a.js", "a.json", "a.md", "a.html", "a.css", "a.png", ".env",
                                 ".gitignore", "a.yml", "a.xml", "a.sh", "plain"}) {
            list << FileTreeScanner::iconFor(QString::fromLatin1(file));
        }
        return list;
    }();
    return names;
}

// Points the icon theme at nothing, as on a desktop without an icon theme.
class NoIconTheme : public ::testing::Test {
protected:
    void SetUp() override {
        m_paths = QIcon::themeSearchPaths();
        m_theme = QIcon::themeName();
        QIcon::setThemeSearchPaths({});
        QIcon::setThemeName(QStringLiteral("kestrion-no-such-theme"));
    }
    void TearDown() override {
        QIcon::setThemeSearchPaths(m_paths);
        QIcon::setThemeName(m_theme);
    }

private:
    QStringList m_paths;
    QString m_theme;
};

} // namespace

TEST(FileIcons, everyNameTheTreeUsesHasAnEntryAndAVisibleIcon) {
    const QStringList known = FileIcons::iconNames();
    for (const QString& name : namesTheTreeHandsOut()) {
        EXPECT_TRUE(known.contains(name)) << name.toStdString();
        const QIcon icon = FileIcons::icon(name);
        EXPECT_FALSE(icon.isNull()) << name.toStdString();
        EXPECT_GT(paintedPixels(icon, 16), 0) << name.toStdString();
        EXPECT_FALSE(FileIcons::themeNames(name).isEmpty()) << name.toStdString();
    }
    EXPECT_EQ(known.size(), QSet<QString>(namesTheTreeHandsOut().begin(), namesTheTreeHandsOut().end()).size());
}

TEST_F(NoIconTheme, drawnIconsStandInAndTellTheNamesApart) {
    QSet<QByteArray> pictures;
    for (const QString& name : FileIcons::iconNames()) {
        const QIcon icon = FileIcons::drawnIcon(name);
        ASSERT_FALSE(icon.isNull()) << name.toStdString();
        for (int side : {16, 32, 64}) {
            EXPECT_GT(paintedPixels(icon, side), side) << name.toStdString() << " at " << side;
        }
        const QImage image = icon.pixmap(QSize(32, 32)).toImage().convertToFormat(QImage::Format_ARGB32);
        pictures.insert(QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
    }
    EXPECT_EQ(pictures.size(), FileIcons::iconNames().size()) << "two icon names share one drawing";
}

TEST_F(NoIconTheme, unknownNamesGetThePlainDocumentPicture) {
    const auto imageOf = [](const QIcon& icon) { return icon.pixmap(QSize(24, 24)).toImage(); };
    EXPECT_EQ(imageOf(FileIcons::drawnIcon(QStringLiteral("no.such.symbol"))),
              imageOf(FileIcons::drawnIcon(QStringLiteral("doc"))));
    EXPECT_FALSE(FileIcons::icon(QStringLiteral("no.such.symbol")).isNull());
}
