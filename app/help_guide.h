#pragma once
// The ﾍﾙﾌﾟ menu's short guide: what each window shows and the keys that act
// in it, to read and copy. The program has no help files of its own; the
// guide says what the README says of the desktop program.
#include <QDialog>

class QTextBrowser;

class CHelpGuide : public QDialog {
    Q_OBJECT
public:
    explicit CHelpGuide(QWidget* parent = nullptr);

    // The guide as plain text.
    QString Text() const;

private:
    QTextBrowser* text_;
};
