// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "about/AboutServices.h"

#include <QColor>
#include <QDialog>

class QLabel;
class QPushButton;

// The About dialog: the program's title, version and a few words, and a
// button that starts the machine's system-information tool.
// How far apart two colours are for reading (WCAG's contrast ratio, 1 to 21);
// text needs MinimumContrast against its background.
double contrastRatio(const QColor &a, const QColor &b);
inline constexpr double MinimumContrast = 4.5;

class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(AboutServices services, QWidget *parent = nullptr);

    // Fills the title and version from the application's properties; runs
    // once per opening, before the dialog is shown.
    void Form_Load();

    // Finds the system-information tool through the registry and starts it,
    // or says that it is unavailable.
    void StartSysInfo();
    // Reads one registry value as text into KeyVal. False (and KeyVal empty)
    // when the key or the value cannot be read.
    bool GetKeyValue(HKEY KeyRoot, const QString &KeyName, const QString &SubKeyRef, QString &KeyVal);

protected:
    void changeEvent(QEvent *event) override;

private:
    void buildLayout();
    void followTheme();

    AboutServices m_services;
    QLabel *lblTitle = nullptr;
    QLabel *lblVersion = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdSysInfo = nullptr;
};
