#pragma once
// The version information box: the program's version and the build it comes
// from.
#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    // Room a caption needs beside its text: icon and close button.
    static constexpr int kCaptionButtonsWidth = 96;

    explicit CAboutDlg(QWidget* parent = nullptr);
};
