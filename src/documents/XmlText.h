// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "documents/DocumentOutline.h"

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QStringList>

// Readable text out of the XML inside documents, with QXmlStreamReader:
// nothing external is ever loaded (no DTDs, no entities from outside), and
// entity expansion is bounded by the reader. Each throws Failure when the
// XML is not well-formed.
namespace XmlText {

// An XHTML chapter: the body's text, a line per block, without scripts or styles.
QString xhtml(const QByteArray &xml);
// The .docx and .odt readers put a heading mark (Documents::headingMark)
// where each heading begins; Documents::takeHeadings() takes them out.
// word/document.xml of a .docx: paragraph text in order; each footnote or
// endnote (from word/footnotes.xml, word/endnotes.xml) is read once, as a
// paragraph after the paragraph that cites it.
QString wordDocument(const QByteArray &xml, const QByteArray &footnotesXml = {}, const QByteArray &endnotesXml = {});
// content.xml of an .odt: paragraph and heading text in order; notes as
// paragraphs after the paragraph citing them, without their marks.
QString openDocument(const QByteArray &xml);

// EPUB: the package document's path, from META-INF/container.xml.
QString epubPackagePath(const QByteArray &containerXml);
// EPUB: the chapters in reading (spine) order, as paths relative to the package document.
QStringList epubSpine(const QByteArray &packageXml);

// The title and author of an EPUB package document, a .docx's
// docProps/core.xml or an .odt's meta.xml (Dublin Core, whatever the prefix).
Documents::Info documentInfo(const QByteArray &xml);
// EPUB: the cover image's path (relative to the package document) and type,
// empty when the book names none.
QPair<QString, QString> epubCover(const QByteArray &packageXml);

} // namespace XmlText
