// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes after an RTF header: a text, or a Failure with a reason; nothing
// else, and never more text than bytes (a character or two per byte read).
// The same bytes as terminal output: never more text than they hold.
#include "FuzzInput.h"
#include "documents/RtfText.h"
#include "documents/TextDecoding.h"
#include "platform/Failure.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    const QByteArray bytes = QByteArray("{\\rtf1") + fuzzBytes(data, size);
    try {
        const QString text = RtfText::read(bytes);
        if (text.size() > 2 * bytes.size() + 1)
            __builtin_trap();
    } catch (const Failure &) {
    }
    const QString asText = QString::fromLatin1(fuzzBytes(data, size));
    if (TextDecoding::withoutTerminalControls(asText).size() > asText.size())
        __builtin_trap();
    return 0;
}
