// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The reader as the desktop's player controls see it (media keys, the
// panel's controls, playerctl). Each command does what the window's own
// button or key does now, so the window's state decides, as for a click.
class ReaderRemote
{
public:
    enum class Status { Stopped, Playing, Paused };

    virtual ~ReaderRemote() = default;

    virtual void play() = 0; // Speak, or Resume when paused
    virtual void pause() = 0; // Pause, while speech is heard
    virtual void playPause() = 0;
    virtual void stop() = 0;
    virtual void nextSentence() = 0;
    virtual void previousSentence() = 0;
    virtual void bringToFront() = 0;
    virtual void quitReader() = 0;
    virtual void openDocument(const QString &path) = 0;

    virtual Status status() const = 0;
    virtual bool canPlay() const = 0; // there is text to read
    virtual bool canGoNext() const = 0;
    virtual bool canGoPrevious() const = 0;
    virtual QString title() const = 0; // the document's title, or the text's first words
    virtual QString voiceName() const = 0; // as the voice list shows it; empty: none chosen
    virtual qint64 positionMicroseconds() const = 0; // heard of the passage being read
    virtual double volume() const = 0; // 0 .. 1
    virtual void setVolume(double volume) = 0;
};
