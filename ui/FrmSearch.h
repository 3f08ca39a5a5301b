#pragma once

#include <QWidget>
#include <array>
#include <string>

class WindowHost;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The search window: collects a part of a file name or a file address for the open archive. Its Search
// button has no action.
class FrmSearch : public QWidget {
    Q_OBJECT
public:
    // Form_Load runs here; `targetfile` names the archive searched (without ".bif").
    FrmSearch(WindowHost& host, std::string targetfile, QWidget* parent = nullptr);
    ~FrmSearch() override;

    // The editor now lists another archive: the caption names it.
    void showArchive(std::string targetfile);

    // Event handlers, callable from tests.
    void Option1_Click(int Index);
    void txtaddec_KeyPress(int& KeyAscii);
    void txtaddec_Change();
    void txtadhex_KeyPress(int& KeyAscii);
    void txtadhex_Change();
    void Cmdexit_Click();

    bool baddec = false;
    bool badhex = false;

    QGroupBox* FraCritere = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label3 = nullptr;
    std::array<QRadioButton*, 2> Option1{};
    QLineEdit* txtnamesearch = nullptr;
    QLineEdit* txtaddec = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* txtadhex = nullptr;
    QLabel* Label5 = nullptr;
    QPushButton* cmdsearch = nullptr;
    QPushButton* Cmdexit = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();

    WindowHost& m_host;
    std::string m_targetfile;
};
