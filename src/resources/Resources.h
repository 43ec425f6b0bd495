// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QString>

// The program's string table: its one string, 101, is the sample text that
// every new user hears first. Throws Failure for a string that is not there.
QString LoadResString(int id);

// The program's 16 x 16 icon.
QIcon ProgramIcon();
