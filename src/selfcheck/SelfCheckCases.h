#pragma once

#include "selfcheck/ParserSelfCheck.h"

#include <QString>

// What the files of the self-check share; nothing else includes this.
namespace kestrion::ParserSelfCheck {

// The separator of every failure message: an em dash with one space each side.
inline const QString dash = QStringLiteral(" \u2014 ");

// Ends the running case with the message.
[[noreturn]] void fail(const QString& message);

// Cases 1 to 9: the fallback recovery of pasted documents.
QList<Case> recoveryCases();
// Cases 10 to 19: the project context block and its announcement.
QList<Case> contextCases();

} // namespace kestrion::ParserSelfCheck
