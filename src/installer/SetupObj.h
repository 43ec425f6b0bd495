// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "installer/InstallerServices.h"

#include <QWidget>

class QLabel;

// The small window shown while the voice package is installed on the first
// run: "正在初始化" and, in bold, what is being installed. It has no title
// bar and no buttons: the installation cannot be cancelled.
class SetupObj : public QWidget
{
    Q_OBJECT

public:
    explicit SetupObj(InstallerServices services, QWidget *parent = nullptr);

    // Copies the package file from the program's folder to the temporary
    // folder as file.msi, shows nStr, runs the installer quietly on the copy,
    // waits until it has finished, and deletes the copy. Throws Failure on
    // any error, including an installer that reports failure; the copy is
    // removed on every path.
    void SetupMSI(const QString &file, const QString &nStr);

private:
    void showPainted();

    InstallerServices m_services;
    QLabel *Label1 = nullptr;
    QLabel *objCap = nullptr;
};
