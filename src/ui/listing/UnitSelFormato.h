#pragma once

#include <QDialog>

class RadioGroup;

// Asks in which form to write the file; the writer proposes the form the
// file was read in or last written in.
class TFrmSelFormato : public QDialog {
    Q_OBJECT
public:
    explicit TFrmSelFormato(QWidget* parent = nullptr);

    int itemIndex() const; // 0 by position, 1 by separator
    void setItemIndex(int index);

private:
    RadioGroup* formChoice_;
};
