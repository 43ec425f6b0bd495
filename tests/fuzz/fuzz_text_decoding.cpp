// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a text file: a text, or a Failure with a reason; nothing else.
#include "FuzzInput.h"
#include "documents/TextDecoding.h"
#include "platform/Failure.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    const QByteArray bytes = fuzzBytes(data, size);
    try {
        const QString text = TextDecoding::decode(bytes);
        // Every supported charset takes at most two UTF-16 units per byte.
        if (text.size() > 2 * bytes.size() + 1)
            __builtin_trap();
    } catch (const Failure &) {
    }
    return 0;
}
