// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The readable text of HTML and Markdown, through Qt's own parsers
// (QTextDocument), with every resource they name refused: no image, style
// sheet or link is loaded from anywhere.
namespace RichText {

// Headings (h1…h6, Markdown's #) are marked in the text with
// Documents::headingMark; title, when given, gets the page's <title>.
QString html(const QString &source, QString *title = nullptr);
QString markdown(const QString &source);

} // namespace RichText
