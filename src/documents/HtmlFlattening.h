// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// HTML made safe to hand to Qt's HTML import, in one linear pass each:
// Qt keeps the text of scripts, and its import slows down without bound on
// deeply nested elements (ten thousand nested tables take minutes).
namespace HtmlFlattening {

// Without <script> elements; an unclosed one hides the rest, as in a browser.
QString withoutScripts(const QString &html);

// Tags nested deeper than maxDepth are left out (a line break stands in for
// each one left out); their text stays, in order.
QString withNestingAtMost(const QString &html, int maxDepth);

} // namespace HtmlFlattening
