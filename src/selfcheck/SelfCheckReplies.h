#pragma once

#include <QString>
#include <cstddef>

// The nine fixed model replies the built-in self-check feeds to the fallback
// recovery, as UTF-8 bytes. They are exact: no final line feed, and reply H holds
// an em dash.
namespace kestrion::SelfCheckReplies {

inline constexpr char replyA[] =
    R"reply(Here's the updated index.htm file that includes the top 10 news sites in Lithuania, their descriptions, and their popularity statistics. Each site will have a button linking to it.<!DOCTYPE html>
<html lang="en">
<head><meta charset="UTF-8"><title>Top News Sites in Lithuania</title></head>
<body>
    <h1>Top 10 News Sites in Lithuania</h1>
    <p>Demo content here so the body is substantial enough to materialize.</p>
</body>
</html>
This HTML file contains a structured layout.)reply";

inline constexpr char replyB[] = R"reply(Here's the updated index.htm file:
<!DOCTYPE html>
<html><head><title>x</title></head><body><h1>Hello</h1><p>Some content here so it counts as a real file.</p></body></html>
Let me know if you need any further changes!)reply";

inline constexpr char replyC[] = R"reply(Here's the updated `about.htm` file. Drop it at the root of your site.

```html
<!DOCTYPE html>
<html>
    <head><title>About</title></head>
    <body><h1>About us</h1><p>Plenty of content so this passes the substantial-body check.</p></body>
</html>
```

That's it!)reply";

inline constexpr char replyD[] = R"reply(Updated styling. Replace the contents of your stylesheet with the block below.

```css
body { background: #fff; color: #111; font-family: sans-serif; }
.container { max-width: 960px; margin: 0 auto; padding: 24px; }
a { color: #0366d6; }
```)reply";

inline constexpr char replyE[] = R"reply(Here is a quick example you can adapt:

```html
<p>Hello</p>
```)reply";

inline constexpr char replyF[] = R"reply(Here's the updated index.htm:

<<<FILE path="index.htm">>>
<!DOCTYPE html><html><head><title>Hi</title></head><body><p>Done</p></body></html>
<<<END_FILE>>>)reply";

inline constexpr char replyG[] = R"reply(Save this to /etc/passwd-bad-idea.htm right now.

<!DOCTYPE html>
<html><body><h1>Should land at the default path, not the absolute one.</h1><p>Filler content for the substantial check.</p></body></html>)reply";

inline constexpr char replyH[] = R"reply(Put it in ../escape.htm — it's important.

<!DOCTYPE html>
<html><body><h1>x</h1><p>Filler content for the substantial-body check.</p></body></html>)reply";

inline constexpr char replyI[] = R"reply(Here's index.htm:

```
<!DOCTYPE html>
<html><head><title>Hi</title></head><body><h1>Title</h1><p>Body content long enough to materialize.</p></body></html>
```)reply";

// A reply as text.
template <std::size_t N>
QString text(const char (&utf8)[N]) {
    return QString::fromUtf8(utf8, qsizetype(N - 1));
}

} // namespace kestrion::SelfCheckReplies
