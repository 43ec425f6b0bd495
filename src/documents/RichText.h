// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The readable text of HTML and Markdown, through Qt's own parsers
// (QTextDocument), with every resource they name refused: no image, style
// sheet or link is loaded from anywhere.
namespace RichText {

QString html(const QString &source);
QString markdown(const QString &source);

} // namespace RichText
