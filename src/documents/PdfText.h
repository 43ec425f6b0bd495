// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The text of every page of a PDF, in page order, through poppler. Throws
// Failure for a damaged or encrypted file, or one without a text layer (a
// scan): there is nothing to read aloud there.
namespace PdfText {

QString read(const QString &path);

} // namespace PdfText
