#pragma once

// TAboutForm: the About dialog, a tool window over the main window with the program's terms
// and version history.

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

class TAboutForm : public QDialog {
    Q_OBJECT

public:
    explicit TAboutForm(QWidget* parent);

    QPlainTextEdit* Memo = nullptr;
    QPushButton* btnOK = nullptr;

    static QString AboutText();
};
