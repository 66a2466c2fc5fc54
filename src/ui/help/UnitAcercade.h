#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;
class UrlLabel;

// The About window: who made the program and how to reach them. F12 pressed
// anywhere in it shows the author's credit.
class TFrmAcercade : public QDialog {
    Q_OBJECT
public:
    explicit TFrmAcercade(QWidget* parent = nullptr);

    static QString makerName();
    static QUrl makerUrl();
    static QString makerPhone();
    // Two lines: the author's name and profession.
    static QString authorCredit();

protected:
    // Sees the keys of every control of the window before the control does.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    bool handleKey(int key);

    QFrame* Panel1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Image1;
    UrlLabel* OvcURL1;
    QLabel* Label3;
    QPushButton* BitBtn1;
};
