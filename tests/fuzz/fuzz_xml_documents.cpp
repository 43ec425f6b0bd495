// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as the XML inside an e-book, a Word or an OpenDocument file; the
// first byte picks which of them.
#include "FuzzInput.h"
#include "documents/Documents.h"
#include "documents/XmlText.h"
#include "platform/Failure.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray xml = fuzzBytes(data + 1, size - 1);
    try {
        QString text;
        switch (data[0] % 5) {
        case 0:
            text = XmlText::xhtml(xml);
            break;
        case 1:
            text = XmlText::wordDocument(xml);
            break;
        case 2:
            text = XmlText::openDocument(xml);
            break;
        case 3:
            text = XmlText::epubPackagePath(xml);
            break;
        default:
            text = XmlText::epubSpine(xml).join(u'\n');
            break;
        }
        if (text.size() > Documents::MaxTextUnits + 4096)
            __builtin_trap();
    } catch (const Failure &) {
    }
    return 0;
}
