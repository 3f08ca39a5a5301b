#pragma once

#include <QDialog>
#include <array>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// The about window: title, version, description, credits and notices over dark stone. Modeless; OK,
// Enter and Escape close it.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    void cmdOK_Click();

    QPushButton* cmdOK = nullptr;
    QLabel* lblDescription = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblAuteur = nullptr;
    QLabel* Picture1 = nullptr;
    QPlainTextEdit* Text1 = nullptr;
    QLabel* Label2 = nullptr;
    // The two etched separators: white lines with grey ones over them.
    std::array<QFrame*, 5> Line1{};

private:
    void Form_Load();
};
