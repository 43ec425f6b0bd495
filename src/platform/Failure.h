// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QByteArray>
#include <exception>

// The one error type of the program. Every operation that can fail throws a
// Failure; its description is meant for the user and is shown verbatim in the
// reader's message boxes, so it must read well on its own. Its reason is the
// class of failure, for the program: the command line's exit status, tests.
class Failure : public std::exception
{
public:
    enum class Reason {
        Unspecified,
        FileMissing, // a document or input that is not there
        FileUnreadable, // there, but no text could be read from it
        FormatUnsupported, // a kind of file the program does not write
        FileUnwritable, // a file that cannot be written (or is taken)
        VoiceMissing, // a voice that is not installed
        EngineFailed, // the speech engine would not start, or died
        EngineHung, // the speech engine stopped answering and was ended
        SoundServerLost, // the sound server could not be reached or went away
        Cancelled,
    };

    explicit Failure(QString description, Reason reason = Reason::Unspecified);

    const QString &description() const noexcept { return m_description; }
    Reason reason() const noexcept { return m_reason; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
    Reason m_reason;
};
