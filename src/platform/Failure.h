// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QByteArray>
#include <exception>

// The one error type of the program. Every operation that can fail throws a
// Failure; its description is meant for the user and is shown verbatim in the
// reader's message boxes, so it must read well on its own.
class Failure : public std::exception
{
public:
    explicit Failure(QString description);

    const QString &description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
};
