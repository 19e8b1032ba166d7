#include "app/widgets/WidgetStyle.h"

#include "support/Eventually.h"

#include <QFontInfo>
#include <gtest/gtest.h>

using namespace kestrion;

TEST(WidgetStyle, theSourceFontIsTheFirstThatReallyDrawsFixedPitch) {
    const QFont proportional(QStringLiteral("DejaVu Sans"));
    const QFont mono(QStringLiteral("DejaVu Sans Mono"));
    ASSERT_FALSE(WidgetStyle::drawsFixedPitch(proportional));
    ASSERT_TRUE(WidgetStyle::drawsFixedPitch(mono));

    EXPECT_EQ(QFontInfo(WidgetStyle::firstFixedPitch({proportional, mono})).family(),
              QStringLiteral("DejaVu Sans Mono"));
    // With nothing monospaced the first candidate stands.
    EXPECT_EQ(QFontInfo(WidgetStyle::firstFixedPitch({proportional})).family(), QStringLiteral("DejaVu Sans"));

    const QFont source = WidgetStyle::sourceFont(13.5);
    EXPECT_TRUE(WidgetStyle::drawsFixedPitch(source)) << QFontInfo(source).family().toStdString();
    EXPECT_EQ(source.pointSizeF(), 13.5);
}
