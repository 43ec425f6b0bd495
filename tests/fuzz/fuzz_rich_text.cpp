// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as HTML or Markdown: the linear clean-up first, then Qt's import.
#include "FuzzInput.h"
#include "documents/HtmlFlattening.h"
#include "documents/RichText.h"

#include <QGuiApplication>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QString source = QString::fromUtf8(fuzzBytes(data + 1, size - 1));
    const QString flattened = HtmlFlattening::withNestingAtMost(HtmlFlattening::withoutScripts(source), 8);
    // Leaving tags out never makes more than a line break of each.
    if (flattened.size() > 4 * source.size() + 4)
        __builtin_trap();
    if (data[0] & 1)
        RichText::markdown(source);
    else
        RichText::html(source);
    return 0;
}
