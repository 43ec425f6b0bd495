// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a document file on disk: archives (EPUB, DOCX, ODT) above all,
// since the seeds are archives, and whatever else the bytes turn out to be.
#include "FuzzInput.h"
#include "documents/Documents.h"
#include "platform/Failure.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdlib>

namespace {
QString g_path;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    g_path = QDir::temp().filePath(QStringLiteral("sayrella-fuzz-%1.bin").arg(QCoreApplication::applicationPid()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    {
        QFile file(g_path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(fuzzBytes(data, size));
    }
    try {
        QStringList notes;
        Documents::readText(g_path, &notes);
    } catch (const Failure &) {
    }
    return 0;
}
