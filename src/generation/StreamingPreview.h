#pragma once

#include <QString>

namespace kestrion {

// What the transcript shows of a reply that is still arriving: its prose as written so far, with
// every FILE or IMAGE block replaced by a line that names it and grows with it ("Writing index.html…
// 4.2 KB", "Image images/hero.jpg…"); the block's content is never shown. A marker cut off at the
// end of what arrived is held back until it is whole.
QString streamingPreviewText(const QString& partialReply);

} // namespace kestrion
