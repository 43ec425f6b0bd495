// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/text/MarkupCheck.h"

#include <QSet>
#include <QXmlStreamReader>

bool readAsMarkup(const QString &text)
{
    if (!text.contains(u'<') && !text.contains(u'&'))
        return false;
    static const QSet<QString> admitted = {
        QStringLiteral("speak"), QStringLiteral("voice"),  QStringLiteral("prosody"), QStringLiteral("emphasis"),
        QStringLiteral("break"), QStringLiteral("say-as"), QStringLiteral("s"),       QStringLiteral("p"),
        QStringLiteral("sub"),   QStringLiteral("mark"),   QStringLiteral("audio"),
    };
    // Wrapped in a root of our own so that fragments ("a <break/> b") count.
    QXmlStreamReader xml(QStringLiteral("<r>") + text + QStringLiteral("</r>"));
    bool root = true;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            if (!root && !admitted.contains(xml.name().toString()))
                return false;
            root = false;
            break;
        case QXmlStreamReader::DTD:
        case QXmlStreamReader::ProcessingInstruction:
        case QXmlStreamReader::EntityReference:
            return false;
        default:
            break;
        }
    }
    return !xml.hasError();
}
