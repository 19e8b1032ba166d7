#include "support/FileExtension.h"

#include <gtest/gtest.h>

namespace kestrion {
namespace {

TEST(FileExtension, takesTheLastComponentsFinalDotInBothLeadingDotModes) {
    struct Case {
        const char* path;
        const char* extension;     // a leading dot starts the extension
        const char* nameExtension; // a leading dot starts the name
    };
    const Case cases[] = {
        {"index.HTM", "htm", "htm"},
        {"a/b.c/d", "", ""},
        {"dir/page.html/", "html", "html"},
        {"a.b//", "b", "b"},
        {".gitignore", "gitignore", ""},
        {"site/.env", "env", ""},
        {"name.", "", ""},
        {"archive.tar.gz", "gz", "gz"},
        {"..htm", "htm", "htm"},
        {"a\\b.CSS", "css", "css"},
        {"noext", "", ""},
        {"", "", ""},
        {"/", "", ""},
    };
    for (const Case& c : cases) {
        const QString path = QString::fromUtf8(c.path);
        EXPECT_EQ(lowerCasedExtension(path), QString::fromUtf8(c.extension)) << c.path;
        EXPECT_EQ(lowerCasedExtension(path, LeadingDot::StartsName), QString::fromUtf8(c.nameExtension)) << c.path;
    }
}

} // namespace
} // namespace kestrion
