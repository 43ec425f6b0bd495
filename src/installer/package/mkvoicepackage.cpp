// SPDX-License-Identifier: GPL-3.0-or-later
// Build tool: packs voice definitions into a voice package.
//   mkvoicepackage OUTPUT VERSION FILE...
#include "installer/package/VoicePackage.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: mkvoicepackage OUTPUT VERSION FILE...\n");
        return 2;
    }
    VoicePackage::Package package;
    package.version = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        QFile file(QString::fromLocal8Bit(argv[i]));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "mkvoicepackage: cannot read %s\n", argv[i]);
            return 1;
        }
        package.entries.append({QFileInfo(file).fileName(), file.readAll()});
    }
    QSaveFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly) || out.write(VoicePackage::write(package)) < 0 || !out.commit()) {
        std::fprintf(stderr, "mkvoicepackage: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
