#pragma once

#include <QDialog>

// The About box: the program icon, "Quorvane Version 2.71" and OK; below them what the program
// does, its licence and its home page.
class CAboutDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
