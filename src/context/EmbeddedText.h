#pragma once

#include "context/ProjectWalk.h"
#include "support/SitePath.h"

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <optional>

// The text of a walked file as the prompt embeds it.
namespace kestrion::ProjectContextBuilder {

struct EmbeddedText {
    QString body;
    bool truncated = false;
};

// The file's text within cap bytes: strict UTF-8, else Latin-1; a longer file
// is cut and followed by a truncation marker. Nothing when the file cannot be
// read, or is a link leading outside the website directory or into its private
// folders. The buffer must hold cap + 1 bytes; it is reused for every file of a
// walk.
std::optional<EmbeddedText> readEmbeddedText(const WalkedFile& file, qint64 cap, QByteArray& buffer,
                                             const SitePath::Site& site);

// Bytes the text takes in UTF-8, counted without encoding it. The texts come
// from decoding, so every surrogate is half of a valid pair.
qint64 utf8Length(QStringView text);

} // namespace kestrion::ProjectContextBuilder
