// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Every message of the program: OK only, no icon, the program's title,
// modal, returning when the user has closed it. Tests replace it so that a
// modal box never blocks them.
class MessageBox
{
public:
    virtual ~MessageBox() = default;
    virtual void Show(const QString &text) = 0;
};

// The program's title, shown on every message box; set once, in main.
QString ProgramTitle();
