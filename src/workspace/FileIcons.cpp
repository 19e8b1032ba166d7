#include "workspace/FileIcons.h"

#include <QColor>
#include <QFont>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>
#include <map>
#include <vector>

namespace kestrion::FileIcons {

namespace {

enum class Shape { Folder, Page, Picture, Warning };

struct IconRecipe {
    QStringList themeNames;
    Shape shape;
    QColor color;
    QString label; // drawn on a page shape
};

struct NamedRecipe {
    QString name;
    IconRecipe recipe;
};

const std::vector<NamedRecipe>& recipes() {
    static const std::vector<NamedRecipe> table{
        {QStringLiteral("folder.fill"), {{QStringLiteral("folder")}, Shape::Folder, QColor(0x3b82f6), {}}},
        {QStringLiteral("doc"), {{QStringLiteral("text-x-generic")}, Shape::Page, QColor(0x6b7280), {}}},
        {QStringLiteral("swift"),
         {{QStringLiteral("text-x-swift"), QStringLiteral("text-x-script")},
          Shape::Page,
          QColor(0xf97316),
          QStringLiteral("S")}},
        {QStringLiteral("curlybraces"),
         {{QStringLiteral("application-x-php"), QStringLiteral("text-x-script")},
          Shape::Page,
          QColor(0x7c3aed),
          QStringLiteral("{}")}},
        {QStringLiteral("chevron.left.forwardslash.chevron.right"),
         {{QStringLiteral("text-x-javascript"), QStringLiteral("application-javascript"),
           QStringLiteral("text-x-script")},
          Shape::Page,
          QColor(0xca8a04),
          QStringLiteral("</>")}},
        {QStringLiteral("curlybraces.square"),
         {{QStringLiteral("application-json"), QStringLiteral("text-x-generic")},
          Shape::Page,
          QColor(0x0d9488),
          QStringLiteral("[{}]")}},
        {QStringLiteral("doc.richtext"),
         {{QStringLiteral("text-markdown"), QStringLiteral("text-x-generic")},
          Shape::Page,
          QColor(0x475569),
          QStringLiteral("MD")}},
        {QStringLiteral("doc.richtext.fill"),
         {{QStringLiteral("text-html"), QStringLiteral("text-x-generic")},
          Shape::Page,
          QColor(0xe11d48),
          QStringLiteral("<>")}},
        {QStringLiteral("paintbrush"),
         {{QStringLiteral("text-css"), QStringLiteral("applications-graphics")},
          Shape::Page,
          QColor(0x2563eb),
          QStringLiteral("#")}},
        {QStringLiteral("photo"), {{QStringLiteral("image-x-generic")}, Shape::Picture, QColor(0x16a34a), {}}},
        {QStringLiteral("gearshape"),
         {{QStringLiteral("preferences-system"), QStringLiteral("emblem-system")},
          Shape::Page,
          QColor(0x57534e),
          QStringLiteral("*")}},
        {QStringLiteral("arrow.triangle.branch"),
         {{QStringLiteral("vcs-branch"), QStringLiteral("text-x-generic")},
          Shape::Page,
          QColor(0xea580c),
          QStringLiteral("Y")}},
        {QStringLiteral("list.bullet.rectangle"),
         {{QStringLiteral("text-x-yaml"), QStringLiteral("application-x-yaml"), QStringLiteral("text-x-generic")},
          Shape::Page,
          QColor(0xdb2777),
          QStringLiteral("≡")}},
        {QStringLiteral("list.bullet.rectangle.portrait"),
         {{QStringLiteral("text-xml"), QStringLiteral("application-xml"), QStringLiteral("text-x-generic")},
          Shape::Page,
          QColor(0x9333ea),
          QStringLiteral("<x>")}},
        {QStringLiteral("terminal"),
         {{QStringLiteral("utilities-terminal"), QStringLiteral("application-x-shellscript"),
           QStringLiteral("text-x-script")},
          Shape::Page,
          QColor(0x111827),
          QStringLiteral(">_")}},
        {QStringLiteral("exclamationmark.triangle"),
         {{QStringLiteral("dialog-warning")}, Shape::Warning, QColor(0xf59e0b), {}}},
    };
    return table;
}

// The plain document picture stands in for names nobody has drawn.
const IconRecipe& recipeFor(const QString& iconName) {
    const auto& table = recipes();
    const auto named = [&table](const QString& name) {
        return std::find_if(table.begin(), table.end(),
                            [&name](const NamedRecipe& entry) { return entry.name == name; });
    };
    const auto found = named(iconName);
    return found != table.end() ? found->recipe : named(QStringLiteral("doc"))->recipe;
}

// Paints at whatever size a view asks for, so the drawn icons stay sharp on
// any screen without shipping image files.
class DrawnIconEngine final : public QIconEngine {
public:
    explicit DrawnIconEngine(IconRecipe recipe) : m_recipe(std::move(recipe)) {}

    QIconEngine* clone() const override { return new DrawnIconEngine(m_recipe); }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const qreal side = std::min(rect.width(), rect.height());
        const QRectF box(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0, side, side);
        QColor color = m_recipe.color;
        if (mode == QIcon::Disabled) {
            color.setAlpha(110);
        }
        switch (m_recipe.shape) {
        case Shape::Folder:
            paintFolder(painter, box, color);
            break;
        case Shape::Picture:
            paintPicture(painter, box, color);
            break;
        case Shape::Warning:
            paintWarning(painter, box, color);
            break;
        case Shape::Page:
            paintPage(painter, box, color);
            break;
        }
        painter->restore();
    }

    QString key() const override { return QStringLiteral("kestrion-drawn"); }

private:
    static void paintFolder(QPainter* painter, const QRectF& box, const QColor& color) {
        const qreal s = box.width();
        QPainterPath path;
        path.moveTo(box.left() + s * 0.06, box.top() + s * 0.22);
        path.lineTo(box.left() + s * 0.40, box.top() + s * 0.22);
        path.lineTo(box.left() + s * 0.48, box.top() + s * 0.32);
        path.lineTo(box.right() - s * 0.06, box.top() + s * 0.32);
        path.lineTo(box.right() - s * 0.06, box.bottom() - s * 0.16);
        path.lineTo(box.left() + s * 0.06, box.bottom() - s * 0.16);
        path.closeSubpath();
        painter->setPen(QPen(color.darker(130), std::max<qreal>(1.0, s / 16.0)));
        painter->setBrush(color);
        painter->drawPath(path);
    }

    static QRectF pageRect(const QRectF& box) {
        const qreal s = box.width();
        return QRectF(box.left() + s * 0.16, box.top() + s * 0.06, s * 0.68, s * 0.88);
    }

    void paintPage(QPainter* painter, const QRectF& box, const QColor& color) const {
        const QRectF page = pageRect(box);
        painter->setPen(QPen(color, std::max<qreal>(1.0, box.width() / 16.0)));
        painter->setBrush(Qt::white);
        painter->drawRoundedRect(page, box.width() * 0.06, box.width() * 0.06);
        if (m_recipe.label.isEmpty()) {
            // A plain page: a few text lines.
            painter->setPen(QPen(color, std::max<qreal>(1.0, box.width() / 16.0)));
            for (int line = 1; line <= 3; ++line) {
                const qreal y = page.top() + page.height() * (0.2 * line + 0.1);
                painter->drawLine(QPointF(page.left() + page.width() * 0.2, y),
                                  QPointF(page.right() - page.width() * 0.2, y));
            }
            return;
        }
        QFont font = painter->font();
        font.setBold(true);
        font.setPixelSize(std::max(5, static_cast<int>(page.height() * (m_recipe.label.size() > 2 ? 0.30 : 0.42))));
        painter->setFont(font);
        painter->setPen(color);
        painter->drawText(page, Qt::AlignCenter, m_recipe.label);
    }

    static void paintPicture(QPainter* painter, const QRectF& box, const QColor& color) {
        const qreal s = box.width();
        const QRectF frame(box.left() + s * 0.06, box.top() + s * 0.16, s * 0.88, s * 0.68);
        painter->setPen(QPen(color.darker(130), std::max<qreal>(1.0, s / 16.0)));
        painter->setBrush(QColor(0xe0f2fe));
        painter->drawRoundedRect(frame, s * 0.06, s * 0.06);
        QPainterPath hills;
        hills.moveTo(frame.left(), frame.bottom());
        hills.lineTo(frame.left() + frame.width() * 0.35, frame.top() + frame.height() * 0.45);
        hills.lineTo(frame.left() + frame.width() * 0.6, frame.top() + frame.height() * 0.75);
        hills.lineTo(frame.left() + frame.width() * 0.75, frame.top() + frame.height() * 0.6);
        hills.lineTo(frame.right(), frame.bottom());
        hills.closeSubpath();
        painter->setPen(Qt::NoPen);
        painter->setBrush(color);
        painter->drawPath(hills);
        painter->setBrush(QColor(0xfacc15));
        painter->drawEllipse(QPointF(frame.left() + frame.width() * 0.75, frame.top() + frame.height() * 0.28),
                             s * 0.08, s * 0.08);
    }

    static void paintWarning(QPainter* painter, const QRectF& box, const QColor& color) {
        const qreal s = box.width();
        QPainterPath triangle;
        triangle.moveTo(box.center().x(), box.top() + s * 0.08);
        triangle.lineTo(box.right() - s * 0.04, box.bottom() - s * 0.1);
        triangle.lineTo(box.left() + s * 0.04, box.bottom() - s * 0.1);
        triangle.closeSubpath();
        painter->setPen(QPen(color.darker(140), std::max<qreal>(1.0, s / 16.0)));
        painter->setBrush(color);
        painter->drawPath(triangle);
        painter->setPen(QPen(Qt::black, std::max<qreal>(1.0, s / 9.0), Qt::SolidLine, Qt::RoundCap));
        painter->drawLine(QPointF(box.center().x(), box.top() + s * 0.38),
                          QPointF(box.center().x(), box.top() + s * 0.62));
        painter->drawPoint(QPointF(box.center().x(), box.top() + s * 0.76));
    }

    IconRecipe m_recipe;
};

} // namespace

QStringList iconNames() {
    QStringList names;
    for (const NamedRecipe& entry : recipes()) {
        names << entry.name;
    }
    return names;
}

QStringList themeNames(const QString& iconName) {
    return recipeFor(iconName).themeNames;
}

QIcon drawnIcon(const QString& iconName) {
    return QIcon(new DrawnIconEngine(recipeFor(iconName)));
}

QIcon icon(const QString& iconName) {
    // Icons are implicitly shared: one per name serves every row of the tree.
    static std::map<QString, QIcon> cache;
    const auto cached = cache.find(iconName);
    if (cached != cache.end()) {
        return cached->second;
    }
    QIcon result;
    for (const QString& themeName : themeNames(iconName)) {
        if (QIcon::hasThemeIcon(themeName)) {
            result = QIcon::fromTheme(themeName);
            break;
        }
    }
    if (result.isNull()) {
        result = drawnIcon(iconName);
    }
    cache.emplace(iconName, result);
    return result;
}

} // namespace kestrion::FileIcons
