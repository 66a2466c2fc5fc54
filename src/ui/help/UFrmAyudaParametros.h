#pragma once

#include <QDialog>
#include <QString>

class QFrame;
class QLabel;

// A small window with a few lines about one code table. The caller sets the
// caption and the text, then shows it modally; Escape or the close box closes
// it.
class TFrmAyudaParametros : public QDialog {
    Q_OBJECT
public:
    explicit TFrmAyudaParametros(QWidget* parent = nullptr);

    // Lines may be separated by CR, LF or CR LF; each shows on its own line.
    // (A text put into Label1 directly is brought to the same form when the
    // window is shown.)
    void setText(const QString& text);
    QString text() const;

    // The text with every CR LF and every lone CR turned into LF.
    static QString normalizedLines(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QFrame* Panel1;
    QLabel* Label1;
};
