// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "about/AboutServices.h"
#include "installer/InstallerServices.h"
#include "platform/MessageBox.h"
#include "settings/SettingsStore.h"
#include "reader/ExportDialog.h"
#include "speech/SpeechSynthesis.h"
#include "speech/VoiceFactory.h"

#include <QString>

#include <functional>
#include <optional>

class QWidget;

// What the reader window needs from outside, injected so that tests can hand
// it fakes. main.cpp wires the real ones.
struct ReaderServices
{
    VoiceFactory createVoice;
    MessageBox *messageBox = nullptr;
    SettingsStore *settings = nullptr;
    AboutServices about;
    InstallerServices installer;
    // Asks the person for a document to open; empty when they cancel. Unset:
    // the platform's file dialog.
    std::function<QString(QWidget *parent)> chooseDocument;
    // Asks where to save the speech as audio; nothing when they cancel.
    // Unset: the program's own dialog.
    std::function<std::optional<ExportDialog::Choice>(QWidget *parent, const QString &suggested)> chooseExport;
    // Speech rendered for saving. Unset: saving reports that it cannot.
    SynthesisFactory createSynthesis;
};
